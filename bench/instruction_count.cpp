// Runs one benchmark program once, named by the first argument (nested, jump or call): the
// driver whose instructions callgrind counts.
#include <string>
#include <string_view>

#include "bench/programs.h"
#include "interpreter/interpreter.h"

int main(int argc, char** argv) {
  const std::string_view name = argc > 1 ? argv[1] : "";
  std::string text;
  if (name == "nested") {
    text = linebasic::bench::kNestedLoop;
  } else if (name == "jump") {
    text = linebasic::bench::jumpHeavyProgram();
  } else if (name == "call") {
    text = linebasic::bench::callHeavyProgram();
  } else {
    return 2;
  }
  linebasic::Interpreter interpreter;
  interpreter.load(text.c_str());
  while (!interpreter.isDone())
    interpreter.executeStatement();
  return 0;
}

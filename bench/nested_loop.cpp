// Runs the nested-loop program once: the driver whose instructions callgrind counts.
#include "bench/programs.h"
#include "interpreter/interpreter.h"

int main() {
  linebasic::Interpreter interpreter;
  interpreter.load(linebasic::bench::kNestedLoop);
  while (!interpreter.isDone())
    interpreter.executeStatement();
  return 0;
}

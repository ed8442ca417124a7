// linebasic: runs the built-in demo program and writes what it prints to standard output.
#include "app/demo_program.h"
#include "interpreter/interpreter.h"

int main() {
  linebasic::Interpreter interpreter;
  interpreter.load(linebasic::kDemoProgram);
  while (!interpreter.isDone())
    interpreter.executeStatement();
  return 0;
}

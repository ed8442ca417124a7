// Drives the installed interpreter, including it the way linebasic's own code does.
#include "interpreter/interpreter.h"

int main() {
  linebasic::Interpreter interpreter;
  interpreter.load("10 print 1+2\n20 end\n30 print 4\n");
  while (!interpreter.isDone())
    interpreter.executeStatement();
  return 0;
}

// Drives the installed interpreter, including it the way linebasic's own code does: the
// program's output is taken through the sink, and a run stops at a breakpoint on the way.
#include <cstdio>
#include <string>
#include <string_view>

#include "debug/run_control.h"
#include "interpreter/interpreter.h"

int main() {
  std::string printed;
  linebasic::Interpreter interpreter;
  interpreter.output = {[](void* context, std::string_view text) {
                          static_cast<std::string*>(context)->append(text);
                        },
                        &printed};
  linebasic::RunControl control(interpreter);
  control.setBreakpoint(2);
  control.start("10 print 1+2\n20 end\n30 print 4\n");
  if (control.resume() != linebasic::StopReason::Breakpoint || control.line() != 2) return 1;
  if (control.resume() != linebasic::StopReason::Ended) return 1;
  std::fputs(printed.c_str(), stdout);
  return 0;
}

// Runs the nested loop once under run control, named by the first argument: watched, with a
// breakpoint on its last line, so that every line the run reaches is looked up; or unwatched,
// with none. The driver whose instructions callgrind counts for the cost of run control.
#include <string_view>

#include "bench/programs.h"
#include "debug/run_control.h"
#include "interpreter/interpreter.h"

int main(int argc, char** argv) {
  const std::string_view name = argc > 1 ? argv[1] : "";
  if (name != "watched" && name != "unwatched") return 2;
  linebasic::Interpreter interpreter;
  linebasic::RunControl control(interpreter);
  control.start(linebasic::bench::kNestedLoop);
  if (name == "watched") control.setBreakpoint(9);
  while (control.resume() != linebasic::StopReason::Ended) {
  }
  return 0;
}

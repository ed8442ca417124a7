// Runs the nested loop once under run control, through the public C API as a host would, named
// by the first argument: watched, with a breakpoint on its last line, so that every line the
// run reaches is looked up; or unwatched, with none. The driver whose instructions callgrind
// counts for the cost of run control and of the API around it.
#include <cstring>
#include <string_view>

#include "bench/programs.h"
#include "linebasic/linebasic.h"

int main(int argc, char** argv) {
  const std::string_view name = argc > 1 ? argv[1] : "";
  if (name != "watched" && name != "unwatched") return 2;
  linebasic_machine* machine = linebasic_new();
  const char* const text = linebasic::bench::kNestedLoop;
  linebasic_load(machine, text, std::strlen(text));
  if (name == "watched") linebasic_set_breakpoint(machine, 90);
  while (linebasic_run(machine, LINEBASIC_UNBOUNDED) != LINEBASIC_ENDED) {
  }
  linebasic_delete(machine);
  return 0;
}

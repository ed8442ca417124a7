// A plugin: a shared library of the host's own that links linebasic into itself.
#include <linebasic/linebasic.h>

#include <cstring>

extern "C" int plugin_sum(int limit) {
  linebasic_machine* machine = linebasic_new();
  const char* program = "10 for i = 1 to 10\n20 s = s + i\n30 next i\n";
  linebasic_set_variable(machine, 's', 0);
  linebasic_load(machine, program, std::strlen(program));
  linebasic_run(machine, static_cast<uint64_t>(limit));
  const int sum = linebasic_get_variable(machine, 's');
  linebasic_delete(machine);
  return sum;
}

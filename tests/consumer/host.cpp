// A C++ host: one call runs a program within limits; a machine steps through another.
#include <iostream>
#include <linebasic/linebasic.hpp>

int main() {
  linebasic::Limits limits;
  limits.maxSteps = 7;
  limits.milliseconds = 100;
  const linebasic::Outcome outcome = linebasic::run("10 print 6 * 7\n20 goto 10\n", limits);
  std::cout << outcome.output << "stopped at line " << outcome.place.number << '\n';

  linebasic::Machine machine;
  machine.setOutput([](std::string_view text) { std::cout << text; });
  machine.load("10 x = 5\n20 print x * 2\n");
  machine.setBreakpoint(20);
  if (machine.run() == linebasic::Status::Breakpoint) machine.setVariable('x', 20);
  machine.run();
  std::cout << "x = " << machine.variable('x') << '\n';
}

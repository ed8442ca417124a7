// The run loop allocates nothing once the interpreter's scratch string has grown: running the
// demo a second time on the same interpreter calls the global operator new zero times.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "app/demo_program.h"
#include "interpreter/interpreter.h"

namespace {

long allocations = 0;  // calls of the global operator new in this test executable

}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}

namespace linebasic {
namespace {

void runDemo(Interpreter& interpreter) {
  interpreter.load(kDemoProgram);
  while (!interpreter.isDone())
    interpreter.executeStatement();
}

TEST(AllocationTest, ASecondRunOfTheDemoAllocatesNothing) {
  // Keep the demo's output out of the test log.
  std::fflush(stdout);
  const int savedStdout = ::dup(STDOUT_FILENO);
  std::FILE* devNull = std::fopen("/dev/null", "w");
  ASSERT_NE(devNull, nullptr);
  ::dup2(::fileno(devNull), STDOUT_FILENO);

  Interpreter interpreter;
  runDemo(interpreter);
  const long before = allocations;
  runDemo(interpreter);
  const long during = allocations - before;

  std::fflush(stdout);
  ::dup2(savedStdout, STDOUT_FILENO);
  ::close(savedStdout);
  std::fclose(devNull);
  EXPECT_GT(before, 0);  // the count works: building the keyword table allocates
  EXPECT_EQ(during, 0);
}

}  // namespace
}  // namespace linebasic

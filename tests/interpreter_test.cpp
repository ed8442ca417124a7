// The interpreter core: loading, and a run loop that finishes any text and allocates nothing.
#include <cstdlib>
#include <new>
#include <random>
#include <string>

#include "app/demo_program.h"
#include "test_support.h"

namespace {
long allocations = 0;  // calls of the global operator new in this test executable
}  // namespace

void* operator new(std::size_t size) {
  ++allocations;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
  ++allocations;
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* memory, const std::nothrow_t& /*tag*/) noexcept {
  std::free(memory);
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t /*size*/) noexcept {
  std::free(memory);
}

namespace linebasic {
namespace {

// A new interpreter holds the default text: its PRINT ends an empty line, and the capitalised
// words of its second line start no statement.
TEST(InterpreterTest, ConstructionLoadsTheDefaultText) {
  Interpreter interpreter;
  EXPECT_STREQ(interpreter.programText, kDefaultProgram);
  ::testing::internal::CaptureStdout();
  testing::runSteps(interpreter, 100);
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "\n");
}

// Loading restarts the run: position, line count, both stacks and END, but not the variables.
TEST(InterpreterTest, LoadRestartsTheRunButKeepsTheVariables) {
  Interpreter interpreter;
  interpreter.load("10 for i = 1 to 2\n20 gosub 20\n30 end");
  testing::runSteps(interpreter, 100);
  interpreter.load("\n10 end");
  EXPECT_EQ(interpreter.token, TokenKind::Newline);
  EXPECT_EQ(interpreter.lineOrdinal, 0);  // a line-feed scanned by load is not counted
  EXPECT_EQ(interpreter.gosubDepth, 0);
  EXPECT_EQ(interpreter.forDepth, 0);
  EXPECT_FALSE(interpreter.isDone());
  EXPECT_EQ(interpreter.variableValue('i'), 1);
  interpreter.load(nullptr);
  EXPECT_TRUE(interpreter.isDone());
}

// Once constructed, an interpreter calls operator new zero times: not in the first run of
// the demo, nor in a second.
TEST(AllocationTest, RunningTheDemoAllocatesNothing) {
  ::testing::internal::CaptureStdout();  // keeps the demo's output out of the test log
  const long beforeConstruction = allocations;
  Interpreter interpreter;
  const long before = allocations;  // counts the keyword table's nodes
  for (int run = 0; run < 2; ++run) {
    interpreter.load(kDemoProgram);
    testing::runSteps(interpreter, 1000);
  }
  const long during = allocations - before;
  ::testing::internal::GetCapturedStdout();
  EXPECT_GT(before, beforeConstruction);
  EXPECT_EQ(during, 0);
}

// Hostile texts: whatever the bytes, a run ends and touches nothing outside the text. The
// sanitizer build runs these too.
constexpr std::size_t kMegabyte = 1 << 20;

TEST(InterpreterTest, EveryTextFinishes) {
  std::mt19937 generator(20261206);  // fixed seed: the same text on every run
  std::string noise(kMegabyte, ' ');
  for (char& c : noise)
    c = static_cast<char>(1 + generator() % 255);
  std::vector<std::string> texts = {noise, "x = " + std::string(kMegabyte, '('),
                                    "print \"" + std::string(kMegabyte, 'a')};
  for (const char c : {'7', '\n', ' ', '\t', 'x', '"'})
    texts.emplace_back(kMegabyte, c);
  // Statements cut off by the end of the text. (A bare "goto" reads 0, and a text whose first
  // line converts to 0 is its own target.)
  for (const char* text : {"10 goto", "gosub 1", "return", "for i = 1 to", "next i", "if 1 then",
                           "if 0 then", "print \"", "x = (", "x = 1 +"})
    texts.emplace_back(text);
  for (const std::string& text : texts) {
    Interpreter interpreter;
    interpreter.load(text.c_str());
    ::testing::internal::CaptureStdout();
    testing::runSteps(interpreter, 3 * kMegabyte);
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(interpreter.isDone()) << ::testing::PrintToString(text.substr(0, 20));
  }
}

}  // namespace
}  // namespace linebasic

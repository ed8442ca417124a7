// Hostile texts: whatever the bytes, the interpreter finishes within a bounded number of
// statements and touches nothing outside the text. The sanitizer build runs these too.
#include <random>
#include <string>

#include "test_support.h"

namespace linebasic {
namespace {

using testing::runSteps;

constexpr std::size_t kMegabyte = 1 << 20;

// Runs `text` for at most `maxSteps` statements, its output discarded; true when it finished.
bool finishesWithin(const std::string& text, long maxSteps) {
  Interpreter interpreter;
  interpreter.load(text.c_str());
  ::testing::internal::CaptureStdout();
  runSteps(interpreter, maxSteps);
  std::fflush(stdout);
  ::testing::internal::GetCapturedStdout();
  return interpreter.isDone();
}

TEST(HostileTextTest, AMegabyteOfOpeningParentheses) {
  EXPECT_TRUE(finishesWithin("x = " + std::string(kMegabyte, '('), 2 * kMegabyte));
}

TEST(HostileTextTest, AChainOfTenThousandIfs) {
  std::string text;
  for (int i = 0; i < 10'000; ++i)
    text += "if 1 then ";
  EXPECT_TRUE(finishesWithin(text + "x = 1\n", 1'000));
}

TEST(HostileTextTest, AMegabyteOfRandomBytes) {
  std::mt19937 generator(20261206);  // fixed seed: the same text on every run
  std::string text(kMegabyte, ' ');
  for (char& c : text)
    c = static_cast<char>(1 + generator() % 255);
  EXPECT_TRUE(finishesWithin(text, 2 * kMegabyte));
}

TEST(HostileTextTest, LongRunsOfOneKindOfByte) {
  EXPECT_TRUE(finishesWithin(std::string(kMegabyte, '7'), 10));
  EXPECT_TRUE(finishesWithin("x = " + std::string(kMegabyte, '7') + "\n", 10));
  EXPECT_TRUE(finishesWithin(std::string(kMegabyte, '\n'), 2 * kMegabyte));
  EXPECT_TRUE(finishesWithin(std::string(kMegabyte, ' '), 10));
  EXPECT_TRUE(finishesWithin(std::string(kMegabyte, '\t'), 10));
  // One long lower-case word: each letter is a Variable, scanned in constant time.
  EXPECT_TRUE(finishesWithin(std::string(kMegabyte, 'x'), 2 * kMegabyte));
  EXPECT_TRUE(finishesWithin(std::string(kMegabyte, '"'), kMegabyte));
}

TEST(HostileTextTest, AnUnterminatedMegabyteLiteral) {
  const std::string literal = "\"" + std::string(kMegabyte, 'a');
  EXPECT_TRUE(finishesWithin(literal, 10));
  EXPECT_EQ(testing::runProgram("print " + literal), std::string(kLiteralMax, 'a') + "\n");
}

TEST(HostileTextTest, EverySingleByte) {
  for (int byte = 1; byte < 256; ++byte) {
    EXPECT_TRUE(finishesWithin(std::string(1, static_cast<char>(byte)), 10)) << byte;
  }
}

// Statements that read past their own line must stop at the end of the text. (A bare "goto"
// is left out: it reads 0, and a text whose first line converts to 0 is its own target.)
TEST(HostileTextTest, StatementsCutOffByTheEndOfText) {
  for (const char* text : {"10 goto",  "gosub",   "gosub 1",      "return",    "for",
                           "for i",    "for i =", "for i = 1 to", "next",      "next i",
                           "if",       "if 1",    "if 1 then",    "if 0 then", "print",
                           "print \"", "let",     "x =",          "x = (",     "x = 1 +",
                           "end",      "call",    "then",         "else",      "to"}) {
    EXPECT_TRUE(finishesWithin(text, 100)) << text;
  }
}

}  // namespace
}  // namespace linebasic

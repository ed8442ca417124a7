// The interpreter core: construction, loading, the variables and the run loop.
#include <cstring>

#include "app/demo_program.h"
#include "test_support.h"

namespace linebasic {
namespace {

using testing::runSteps;

TEST(InterpreterTest, ConstructionLoadsTheDefaultTextWithZeroedVariables) {
  Interpreter interpreter;
  EXPECT_EQ(interpreter.keywords.size(), 13U);
  EXPECT_EQ(interpreter.programText, kDefaultProgram);
  EXPECT_EQ(interpreter.token, TokenKind::Number);
  for (char c = 'a'; c <= 'z'; ++c)
    EXPECT_EQ(interpreter.variableValue(c), 0) << c;
}

TEST(InterpreterTest, TheDefaultTextRunsToItsEnd) {
  Interpreter interpreter;
  runSteps(interpreter, 100);
  EXPECT_TRUE(interpreter.isDone());
  EXPECT_EQ(interpreter.token, TokenKind::EndOfText);
  EXPECT_EQ(interpreter.endReached, 0);
}

TEST(InterpreterTest, EmptyAndNullTextsAreDoneAtOnce) {
  Interpreter interpreter;
  interpreter.load("");
  EXPECT_TRUE(interpreter.isDone());
  interpreter.load(nullptr);
  EXPECT_TRUE(interpreter.isDone());
  EXPECT_EQ(interpreter.token, TokenKind::EndOfText);
  interpreter.executeStatement();  // harmless when done
  EXPECT_TRUE(interpreter.isDone());
}

TEST(InterpreterTest, EndStopsTheRunBeforeTheNextLine) {
  Interpreter interpreter;
  interpreter.load("10 end\n20 x = 1\n");
  runSteps(interpreter, 100);
  EXPECT_TRUE(interpreter.isDone());
  EXPECT_EQ(interpreter.endReached, 1);
  EXPECT_EQ(interpreter.token, TokenKind::Newline);
  EXPECT_EQ(interpreter.lineOrdinal, 1);
}

TEST(InterpreterTest, EndAtTheEndOfTextStillStops) {
  Interpreter interpreter;
  interpreter.load("end");
  interpreter.executeStatement();
  EXPECT_EQ(interpreter.endReached, 1);
  EXPECT_EQ(interpreter.token, TokenKind::EndOfText);
}

TEST(InterpreterTest, VariablesHoldSignedEightBitValues) {
  Interpreter interpreter;
  const std::vector<std::pair<std::int32_t, std::int32_t>> stores = {
      {200, -56}, {300, 44}, {127, 127},     {128, -128},    {-129, 127},
      {-1, -1},   {256, 0},  {INT32_MIN, 0}, {INT32_MAX, -1}};
  for (const auto& [stored, read] : stores) {
    interpreter.storeVariable('q', stored);
    EXPECT_EQ(interpreter.variableValue('q'), read) << stored;
  }
  interpreter.storeVariable('a', 1);
  interpreter.storeVariable('z', 26);
  EXPECT_EQ(interpreter.variables.front(), 1);
  EXPECT_EQ(interpreter.variables.back(), 26);
}

TEST(InterpreterTest, OnlyLowerCaseLettersNameVariables) {
  Interpreter interpreter;
  for (const char c : {'A', 'Z', '`', '{', '0', '\xE1', '\0'}) {
    interpreter.storeVariable(c, 5);
    EXPECT_EQ(interpreter.variableValue(c), 0) << static_cast<int>(c);
  }
  for (char c = 'a'; c <= 'z'; ++c)
    EXPECT_EQ(interpreter.variableValue(c), 0) << c;
}

TEST(InterpreterTest, LoadResetsPositionLinesStacksAndEndButKeepsVariables) {
  Interpreter interpreter;
  interpreter.load("x\ny\nend");
  runSteps(interpreter, 100);
  interpreter.gosubDepth = 3;
  interpreter.forDepth = 2;
  interpreter.storeVariable('v', 9);
  ASSERT_EQ(interpreter.endReached, 1);
  ASSERT_EQ(interpreter.lineOrdinal, 2);

  const char* const text = "\n10 end";
  interpreter.load(text);
  EXPECT_EQ(interpreter.programText, text);
  EXPECT_EQ(interpreter.tokenStart, text);
  EXPECT_EQ(interpreter.token, TokenKind::Newline);
  EXPECT_EQ(interpreter.lineOrdinal, 0);  // the first line-feed is not counted
  EXPECT_EQ(interpreter.gosubDepth, 0);
  EXPECT_EQ(interpreter.forDepth, 0);
  EXPECT_EQ(interpreter.endReached, 0);
  EXPECT_EQ(interpreter.variableValue('v'), 9);
}

TEST(InterpreterTest, TheDemoTextIsPaddedToItsFixedShape) {
  ASSERT_EQ(std::strlen(kDemoProgram), 276U);
  EXPECT_EQ(std::string(kDemoProgram, 28), "10  gosub 100              \n");
  EXPECT_EQ(std::string(kDemoProgram + 168, 26), "50  print \"end\"          \n");
}

}  // namespace
}  // namespace linebasic

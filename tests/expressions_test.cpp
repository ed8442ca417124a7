// The expression evaluator: precedence, associativity, 32-bit arithmetic without undefined
// behaviour, and how misplaced tokens read.
#include <string>

#include "test_support.h"

namespace linebasic {
namespace {

using testing::kindName;

struct EvalCase {
  std::string text;
  std::int32_t value;
  std::string rest;       // the kind of the token left current, by name
  bool relation = false;  // evaluated with evalRelation rather than evalExpression
};

void PrintTo(const EvalCase& evalCase, std::ostream* os) {
  *os << ::testing::PrintToString(evalCase.text);
}

// 2 to the 31st: wraps to the most negative 32-bit value.
const std::string kMostNegative = "(8*8*8*8*8*8*8*8*8*8*2)";

class ExpressionTest : public ::testing::TestWithParam<EvalCase> {};

TEST_P(ExpressionTest, EvaluatesFromTheTokenStream) {
  Interpreter interpreter;
  interpreter.load(GetParam().text.c_str());
  const std::int32_t value =
      GetParam().relation ? interpreter.evalRelation() : interpreter.evalExpression();
  EXPECT_EQ(value, GetParam().value);
  EXPECT_EQ(kindName(interpreter.token), GetParam().rest);
}

INSTANTIATE_TEST_SUITE_P(
    PrecedenceAndAssociativity, ExpressionTest,
    ::testing::Values(EvalCase{"(1+2)*3", 9, "EndOfText"}, EvalCase{"1+2*3", 7, "EndOfText"},
                      EvalCase{"8-2-1", 5, "EndOfText"}, EvalCase{"64/4/2", 8, "EndOfText"},
                      EvalCase{"2*3%4", 2, "EndOfText"}, EvalCase{"5&3", 1, "EndOfText"},
                      EvalCase{"5|3", 7, "EndOfText"}, EvalCase{"1+6&3", 3, "EndOfText"},
                      EvalCase{"6&3+1", 3, "EndOfText"}, EvalCase{"1|2*3", 7, "EndOfText"},
                      EvalCase{"1 + 2\n", 3, "Newline"}, EvalCase{"2 3", 2, "Number"}));

INSTANTIATE_TEST_SUITE_P(
    Arithmetic, ExpressionTest,
    ::testing::Values(EvalCase{"7/2", 3, "EndOfText"}, EvalCase{"(0-7)/2", -3, "EndOfText"},
                      EvalCase{"7%3", 1, "EndOfText"}, EvalCase{"(0-7)%3", -1, "EndOfText"},
                      EvalCase{"7%(0-3)", 1, "EndOfText"}, EvalCase{"5/0", 0, "EndOfText"},
                      EvalCase{"7%0", 0, "EndOfText"}, EvalCase{"5/\n", 0, "EndOfText"},
                      EvalCase{"5/", 0, "EndOfText"}, EvalCase{"0-5/0", 0, "EndOfText"},
                      EvalCase{"9999*9999*9999", -1027349969, "EndOfText"},
                      EvalCase{kMostNegative, INT32_MIN, "EndOfText"},
                      EvalCase{kMostNegative + "-1", INT32_MAX, "EndOfText"},
                      EvalCase{"0-" + kMostNegative, INT32_MIN, "EndOfText"},
                      EvalCase{kMostNegative + "/(0-1)", INT32_MIN, "EndOfText"},
                      EvalCase{kMostNegative + "%(0-1)", 0, "EndOfText"},
                      EvalCase{kMostNegative + "*(0-1)", INT32_MIN, "EndOfText"},
                      EvalCase{"(0-1)&255", 255, "EndOfText"}));

// Whatever stands where an operand belongs is consumed and reads as 0, a keyword as the
// variable of its first letter; where an operator belongs, the expression simply ends.
INSTANTIATE_TEST_SUITE_P(
    MisplacedTokens, ExpressionTest,
    ::testing::Values(EvalCase{"-1", 0, "Number"}, EvalCase{"1+,5", 1, "Number"},
                      EvalCase{"\"abc\"+1", 1, "EndOfText"}, EvalCase{"(1<2)", 1, "Number"},
                      EvalCase{"(1+2", 3, "EndOfText"}, EvalCase{"(1+2 x", 3, "EndOfText"},
                      EvalCase{"1)", 1, "RightParen"}, EvalCase{"Hello +2", 2, "EndOfText"},
                      EvalCase{"12345+2", 2, "EndOfText"}, EvalCase{"", 0, "EndOfText"},
                      EvalCase{"\n1", 0, "Number"}));

TEST(ExpressionTest, KeywordsReadAsTheVariableOfTheirFirstLetter) {
  Interpreter interpreter;
  interpreter.storeVariable('t', 3);
  interpreter.storeVariable('e', 5);
  interpreter.load("then * 10 + else + to + end");
  EXPECT_EQ(interpreter.evalExpression(), 3 * 10 + 5 + 3 + 5);
}

TEST(ExpressionTest, VariablesReadBackTheirEightBitValue) {
  Interpreter interpreter;
  interpreter.storeVariable('x', 200);
  interpreter.load("x+0");
  EXPECT_EQ(interpreter.evalExpression(), -56);
  interpreter.load("200+0");
  EXPECT_EQ(interpreter.evalExpression(), 200);
}

INSTANTIATE_TEST_SUITE_P(
    Comparisons, ExpressionTest,
    ::testing::Values(
        EvalCase{"3 = 3", 1, "EndOfText", true}, EvalCase{"2 < 1", 0, "EndOfText", true},
        EvalCase{"2 > 1", 1, "EndOfText", true}, EvalCase{"3 > 2 > 1", 0, "EndOfText", true},
        EvalCase{"1 < 2 = 1", 1, "EndOfText", true}, EvalCase{"1+1 = 4/2", 1, "EndOfText", true},
        EvalCase{"(0-1) < 0", 1, "EndOfText", true},
        // No two-character operators: a <= b is a < 0, leaving b current.
        EvalCase{"5 <= 7", 0, "Number", true}, EvalCase{"5 <> 7", 0, "Number", true},
        EvalCase{"5 >= 7", 1, "Number", true}, EvalCase{"5 then", 5, "Then", true}));

std::string nested(int depth) {
  return std::string(static_cast<std::size_t>(depth), '(') + "1" +
         std::string(static_cast<std::size_t>(depth), ')');
}

TEST(ExpressionTest, ParenthesesNestUpToTheDepthLimit) {
  Interpreter interpreter;
  const std::string deepest = nested(kNestingDepthMax);
  interpreter.load(deepest.c_str());
  EXPECT_EQ(interpreter.evalExpression(), 1);
  EXPECT_EQ(interpreter.token, TokenKind::EndOfText);
  EXPECT_EQ(interpreter.nestingDepth, 0);

  // One level more: the innermost "(" reads as 0, and the 1 is stepped over as its ")".
  const std::string tooDeep = nested(kNestingDepthMax + 1);
  interpreter.load(tooDeep.c_str());
  EXPECT_EQ(interpreter.evalExpression(), 0);
  EXPECT_EQ(interpreter.nestingDepth, 0);
}

TEST(ExpressionTest, AHundredThousandParenthesesDoNotExhaustTheStack) {
  const std::string text = "x = " + std::string(100'000, '(') + "1\nprint 5\n";
  EXPECT_EQ(testing::runProgram(text), "5\n");
}

}  // namespace
}  // namespace linebasic

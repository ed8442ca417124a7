// The expression evaluator: precedence, 32-bit arithmetic without undefined behaviour, and how
// misplaced tokens read.
#include <string>

#include "test_support.h"

namespace linebasic {
namespace {

std::string nested(int depth) {
  const auto count = static_cast<std::size_t>(depth);
  return std::string(count, '(') + "1" + std::string(count, ')');
}

// 2 to the 31st: wraps to the most negative 32-bit value.
const std::string kMin = "(8*8*8*8*8*8*8*8*8*8*2)";

// Each case reads "text : value". The evaluation must consume the whole text, or stop where a
// "#" marks it: a misplaced operand is consumed and reads as 0, a misplaced operator ends the
// value. There are no two-character operators, and parentheses nest 256 deep.
TEST(ExpressionTest, EvaluatesFromTheTokenStream) {
  const std::string deepest = nested(kNestingDepthMax);
  const std::string tooDeep = nested(kNestingDepthMax + 1).insert(2 * kNestingDepthMax + 1, "#");
  std::vector<std::string> cases = {
      "(1+2)*3 : 9",     "1+2*3 : 7",     "8-2-1 : 5",       "5&3 : 1",     "5|3 : 7",
      "1+6&3 : 3",       "(0-7)/2 : -3",  "(0-7)%3 : -1",    "5/0 : 0",     "7%0 : 0",
      "(0-1)&255 : 255", "x+0 : -56",     "then + else : 8", "3 = 3 : 1",   "2 < 1 : 0",
      "3 > 3 : 0",       "(0-1) < 0 : 1", "5 <= #7 : 0",     "5 >= #7 : 1", "-#1 : 0",
      "1+,#5 : 1",       "\"abc\"+1 : 1", "(1<#2) : 1",      "(1+2 x : 3",  "1#) : 1",
      "Hello +2 : 2",    "12345+2 : 2",   "5/\n : 0",        "2 #3 : 2"};
  cases.insert(cases.end(),
               {kMin + " : -2147483648", kMin + "-1 : 2147483647", kMin + "/(0-1) : -2147483648",
                kMin + "%(0-1) : 0", deepest + " : 1", tooDeep + " : 0"});
  for (const std::string& row : cases) {
    const std::string marked = row.substr(0, row.rfind(" : "));
    const auto mark = marked.find('#');
    std::string text = marked;
    if (mark != std::string::npos) text.erase(mark, 1);
    Interpreter interpreter;
    interpreter.storeVariable('x', 200);
    interpreter.storeVariable('t', 3);
    interpreter.storeVariable('e', 5);
    interpreter.load(text.c_str());
    EXPECT_EQ(interpreter.evalRelation(), std::stoi(row.substr(row.rfind(" : ") + 3))) << text;
    EXPECT_EQ(interpreter.tokenStart, text.substr(mark == std::string::npos ? text.size() : mark))
        << text;
    EXPECT_EQ(interpreter.nestingDepth, 0) << text;
  }
}

}  // namespace
}  // namespace linebasic

#include "test_support.h"

#include <array>

namespace linebasic::testing {

std::string kindName(TokenKind kind) {
  static constexpr std::array<const char*, 33> kNames = {
      "Invalid",    "EndOfText", "Number",  "String", "Variable", "Let",       "Print",
      "If",         "Then",      "Else",    "For",    "To",       "Next",      "Goto",
      "Gosub",      "Return",    "Call",    "End",    "Comma",    "Semicolon", "Plus",
      "Minus",      "Ampersand", "Bar",     "Star",   "Slash",    "Percent",   "LeftParen",
      "RightParen", "Less",      "Greater", "Equals", "Newline"};
  return kNames.at(static_cast<std::size_t>(kind));
}

void PrintTo(const ProgramCase& programCase, std::ostream* os) {
  *os << ::testing::PrintToString(programCase.text);
}

TEST_P(ProgramTest, PrintsExactly) {
  EXPECT_EQ(runProgram(GetParam().text), GetParam().output);
}

std::vector<std::string> scanTokens(const std::string& text) {
  Interpreter interpreter;
  interpreter.load(text.c_str());
  std::vector<std::string> tokens;
  // Every token is at least one character long, so the scan must end within this many steps.
  for (std::size_t step = 0; step <= text.size() + 1; ++step) {
    if (interpreter.token == TokenKind::EndOfText) {
      tokens.emplace_back("EndOfText");
      return tokens;
    }
    tokens.push_back(kindName(interpreter.token) + "[" +
                     std::string(interpreter.tokenStart, interpreter.tokenEnd) + "]");
    interpreter.advance();
  }
  tokens.emplace_back("(the scan did not reach the end of the text)");
  return tokens;
}

}  // namespace linebasic::testing

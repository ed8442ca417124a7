// The checker's walk over a program text. It follows the run's own path through the tokens:
// the statements read their tokens exactly as the handlers do, so what it reports is what a
// run meets. Only the line searches are not made: the walk goes through the text once, top to
// bottom, and checks both branches of every IF.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "interpreter/interpreter.h"

namespace linebasic::check {

// The names of the warnings. A "derailing" warning is one after which the rest of its line no
// longer reads as meant, so further warnings on that line would repeat it; the others are not.
namespace name {
inline constexpr std::string_view kKeywordCase = "keyword-case";
inline constexpr std::string_view kKeywordGlued = "keyword-glued";
inline constexpr std::string_view kUnknownWord = "unknown-word";
inline constexpr std::string_view kUnarySign = "unary-sign";
inline constexpr std::string_view kOperatorPair = "operator-pair";
inline constexpr std::string_view kMissingThen = "missing-then";
inline constexpr std::string_view kMissingEquals = "missing-equals";
inline constexpr std::string_view kMissingTo = "missing-to";
inline constexpr std::string_view kMissingParen = "missing-paren";
inline constexpr std::string_view kMissingOperand = "missing-operand";
inline constexpr std::string_view kMissingStatement = "missing-statement";
inline constexpr std::string_view kNotAVariable = "not-a-variable";
inline constexpr std::string_view kPrintItem = "print-item";
inline constexpr std::string_view kRestOfLine = "rest-of-line";
inline constexpr std::string_view kStrayToken = "stray-token";
inline constexpr std::string_view kJumpTarget = "jump-target";
inline constexpr std::string_view kNestingDepth = "nesting-depth";
inline constexpr std::string_view kLongNumber = "long-number";
inline constexpr std::string_view kUnclosedLiteral = "unclosed-literal";
// Not derailing:
inline constexpr std::string_view kMissingLine = "missing-line";
inline constexpr std::string_view kDuplicateLine = "duplicate-line";
inline constexpr std::string_view kValueRange = "value-range";
inline constexpr std::string_view kLongLiteral = "long-literal";
inline constexpr std::string_view kNextWithoutFor = "next-without-for";
inline constexpr std::string_view kForWithoutNext = "for-without-next";
}  // namespace name

// A token's bytes as a message shows them: quoted, cut short, other than printable ASCII escaped.
std::string quote(const char* start, const char* end);

// True when the String token from `start` to `end` ends with its closing quote; without one it
// runs to the end of the text.
constexpr bool isClosedLiteral(const char* start, const char* end) {
  return end - start >= 2 && end[-1] == '"';
}

// What follows a complete statement on its line, named by that statement.
enum class Rest { Let, Goto, Gosub, Return, End, Next, For };

// An expression as far as the checker needs it: where it starts, and whether it is one number.
struct Operand {
  const char* start;
  bool isNumber;
  std::int32_t value;  // the number's value, when isNumber
};

class Checker {
 public:
  explicit Checker(const char* text);
  std::vector<Diagnostic> run();

 private:
  struct Finding {
    const char* at;
    std::string_view name;
    std::string message;
  };
  static constexpr int kNoLine = -1;
  static constexpr int kLineNumberCount = 10'000;  // a line number has at most four digits

  // Line numbers and loops, gathered before the walk.
  void gatherLinesAndLoops();
  [[nodiscard]] bool lineExists(std::int32_t n) const;
  [[nodiscard]] bool beginsLine(const char* at) const;
  [[nodiscard]] bool isKeyword(std::string_view word) const;

  // Moving and reporting.
  void step();
  void checkToken();
  void checkWord();
  void report(const char* at, std::string_view name, std::string message);
  [[nodiscard]] TokenKind kind() const { return scan_.token; }
  [[nodiscard]] const char* at() const { return scan_.tokenStart; }
  [[nodiscard]] std::string current() const;
  [[nodiscard]] bool endsStatement() const;

  // The walk: lines, statements, expressions.
  void startLine();
  void statement();
  void stray();
  void checkLet();
  void checkPrint();
  bool printItem();
  void endPrint();
  void checkIf();
  void branch(std::string_view keyword);
  void checkGoto();
  void checkGosub();
  void jumpTarget(std::string_view keyword);
  void checkFor();
  void checkNext();
  void loopVariable(const char* keyword, bool isFor);
  void expectEquals(std::string_view statement);
  void endStatement(Rest rest, const char* start);
  void storedValue(const Operand& value);
  void relation();
  Operand expression(TokenKind before, const char* beforeAt);
  Operand term(TokenKind before, const char* beforeAt);
  Operand factor(TokenKind before, const char* beforeAt);
  void parenthesis();
  void badOperand(TokenKind before, const char* beforeAt);

  const char* text_;
  Interpreter scan_;  // its scanner and 8-bit store: the checker never executes a statement
  std::vector<Finding> findings_;
  bool derailed_ = false;                    // a derailing warning was given on this line
  const char* derailEnd_ = nullptr;          // the end of that line
  bool inBranch_ = false;                    // checking the statement after THEN or ELSE
  int depth_ = 0;                            // parentheses and IF branches, as the run counts them
  TokenKind previous_ = TokenKind::Newline;  // the kind of the token before the current one
  std::int32_t firstLineValue_ = 0;          // the number a jump finds the first line by
  std::vector<const char*> lineAt_;          // the first line numbered n, by n; null: none
  std::vector<int> lineOfNumber_;            // the text line of each of those
  std::array<const char*, kVariableCount> firstFor_{};  // the first FOR of each variable
  std::array<const char*, kVariableCount> lastNext_{};  // the last NEXT of each variable
};

}  // namespace linebasic::check

// The interpreter: one record of state whose member operations scan, evaluate and execute
// a line-numbered BASIC program straight from its text.
//
// Each subsystem defines its own members: the scanner in scanner/, the evaluator levels in
// expressions/, the statement handlers and line searches in statements/, and construction,
// loading, the dispatcher and the variables here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "scanner/scanner.h"
#include "scanner/tokens.h"

namespace linebasic {

inline constexpr int kGosubDepthMax = 10;          // active GOSUBs; an eleventh call is dropped
inline constexpr int kForDepthMax = 4;             // active FOR loops; a fifth records no frame
inline constexpr int kLiteralMax = 40;             // characters of a string literal PRINT writes
inline constexpr int kVariableCount = 26;          // the variables a to z
inline constexpr std::int32_t kVariableMax = 127;  // a variable's largest value; +1 wraps to -128
// Parentheses inside each other and IFs run as the statement of another IF, counted together:
// a "(" beyond this depth reads as 0, and an IF beyond it runs no statement.
inline constexpr int kNestingDepthMax = 256;

// The text an Interpreter holds from construction until the first load.
inline constexpr char kDefaultProgram[] = "10 print\nHello World";

// One active FOR loop.
struct ForFrame {
  std::int32_t bodyOrdinal;    // line ordinal at which the loop body begins
  std::int32_t variableIndex;  // control variable: its letter minus 'a'
  std::int32_t limit;          // the value the variable must exceed to end the loop
};

// Where PRINT's text goes. With no function set, the text goes to standard output through
// printf, as it always has; a host that shows a program's output elsewhere (a window, a
// page, a serial port) sets `write`, which receives each piece PRINT writes: a number's
// digits, a literal, " " for a comma, "\n" at the end of each PRINT. `context` is passed back.
struct OutputSink {
  void (*write)(void* context, std::string_view text) = nullptr;
  void* context = nullptr;
};

// The record is public: its fields are the interpreter's whole observable state.
class Interpreter {
 public:
  Interpreter();

  // Makes `text` the current program and scans its first token; a null text loads as empty.
  // Resets position, line count, both stacks and endReached; the variables keep their values.
  // The text must outlive its use and stay unchanged: it is neither copied nor owned.
  void load(const char* text);

  // True once the text is exhausted or END has run.
  [[nodiscard]] bool isDone() const;

  // Executes the statement at the current token, or skips that one token.
  inline void executeStatement();

  // The variable named by c, widened with its sign; 0 for any c outside a to z.
  [[nodiscard]] std::int32_t variableValue(char c) const;
  // Keeps the low 8 bits of v in the variable named by c; ignores any c outside a to z.
  void storeVariable(char c, std::int32_t v);

  // Scanner (scanner/advance.h, inline, and scanner/scanner.cpp).
  inline TokenKind scanToken();
  inline void advance();

  // Expression evaluator (expressions/expressions.cpp), loosest level first.
  std::int32_t evalRelation();
  std::int32_t evalExpression();
  std::int32_t evalTerm();
  std::int32_t evalFactor();
  std::int32_t readVariable();

  // Statements (statements/).
  void execLet();
  void execPrint();
  void execIf();
  void execGoto();
  void execGosub();
  void execReturn();
  void execFor();
  void execNext();
  void execEnd();

  // Line searches (statements/line_search.cpp): both rescan from the top of the text.
  void jumpToLine(std::int32_t n);
  void jumpToOrdinal(std::int32_t n);

  std::int32_t lineOrdinal = 0;  // Newline tokens advance has counted since the last restart
  TokenKind token = TokenKind::Invalid;                    // kind of the current token
  std::map<std::string, TokenKind, std::less<>> keywords;  // the keywords, as keywordAt knows them
  const char* tokenStart = nullptr;                        // first character of the current token
  const char* tokenEnd = nullptr;                          // just past the current token
  const char* programText = nullptr;                       // the loaded NUL-terminated text
  const char* programEnd = nullptr;                        // its terminating NUL
  char literal[kLiteralMax + 1] = {};                      // the string literal PRINT writes last
  std::array<std::int32_t, kGosubDepthMax> gosubStack{};   // return points, as line ordinals
  std::int32_t gosubDepth = 0;                             // entries in use in gosubStack
  std::array<ForFrame, kForDepthMax> forStack{};           // active FOR loops, innermost last
  std::int32_t forDepth = 0;                               // entries in use in forStack
  std::array<std::int8_t, kVariableCount> variables{};     // a to z; all start at 0
  std::int32_t endReached = 0;                             // 1 once END has run
  std::int32_t nestingDepth = 0;     // open parentheses and running IF statements, together
  OutputSink output;                 // where PRINT writes; standard output by default
  std::uint64_t statementCount = 0;  // statements begun (skipped tokens are none), ever

 private:
  void runStatement();  // the dispatcher's rows for the kinds that start a statement
  TokenKind scanLongToken(TokenKind start);
  inline TokenKind scanNumber();
  TokenKind scanString();
  TokenKind scanOtherWord();
  TokenKind scanLowerWord();
  [[nodiscard]] std::int32_t returnOrdinal(std::int32_t ownLine) const;
  void restartScan();
  void stopAt(const char* at, const char* previousEnd);

  // What a true IF needs to know of the rest of its line: where the line ends (its Newline,
  // or the end of the text) and where its last ELSE stands (null when there is none).
  struct IfLine {
    const char* end;
    const char* lastElse;
  };
  void execIfOn(const IfLine* line);
  void runTrueBranch(const IfLine* line);
  void skipToOwnElse(const IfLine* line);
  IfLine scanIfLine();
  void runBranch(const IfLine* line);
  bool printItem();
  void printLiteral();
  void printNumber(std::int32_t value);
  bool toSink(std::string_view text) const;
};

inline bool Interpreter::isDone() const {
  return *tokenStart == '\0' || token == TokenKind::EndOfText || endReached != 0;
}

namespace detail {

// The kinds that start a statement, one bit each.
inline constexpr std::uint64_t kStatementKinds = [] {
  std::uint64_t kinds = 0;
  for (const TokenKind kind :
       {TokenKind::Variable, TokenKind::Let, TokenKind::Print, TokenKind::If, TokenKind::For,
        TokenKind::Next, TokenKind::Goto, TokenKind::Gosub, TokenKind::Return, TokenKind::End}) {
    kinds |= std::uint64_t{1} << static_cast<int>(kind);
  }
  return kinds;
}();

}  // namespace detail

// Skipping a token is the dispatcher's commonest row (line numbers, line-feeds), so it is
// done here; the statements are routed by runStatement.
inline void Interpreter::executeStatement() {
  // The shift is taken modulo 64. A value beyond the kinds is skipped either way: here, or by
  // runStatement's last row.
  const auto kind = static_cast<std::uint32_t>(token) % 64;
  if ((detail::kStatementKinds >> kind & 1) != 0) {
    runStatement();
  } else {
    advance();
  }
}

inline std::int32_t Interpreter::variableValue(char c) const {
  if (!isLower(c)) return 0;
  return variables[static_cast<unsigned char>(c) - 'a'];
}

inline void Interpreter::storeVariable(char c, std::int32_t v) {
  if (!isLower(c)) return;
  // Keep the low 8 bits, read as two's complement: 200 becomes -56, 300 becomes 44.
  variables[static_cast<unsigned char>(c) - 'a'] =
      static_cast<std::int8_t>(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v)));
}

}  // namespace linebasic

#include "scanner/advance.h"  // the inline definitions of scanToken and advance

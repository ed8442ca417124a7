// The checker's walk over a program text. It follows the run's own path through the tokens:
// the statements read their tokens exactly as the handlers do, so what it reports is what a
// run meets. Only the line searches are not made: the walk goes through the text once, top to
// bottom, and checks both branches of every IF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "check/rewrite.h"
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
inline constexpr std::string_view kNextOuterLoop = "next-outer-loop";
inline constexpr std::string_view kLineOrder = "line-order";
inline constexpr std::string_view kLoopRunsOnce = "loop-runs-once";
inline constexpr std::string_view kLoopDepth = "loop-depth";
inline constexpr std::string_view kGosubDepth = "gosub-depth";
inline constexpr std::string_view kFallsIntoSubroutine = "falls-into-subroutine";
inline constexpr std::string_view kReturnWithoutGosub = "return-without-gosub";
inline constexpr std::string_view kNulByte = "nul-byte";
}  // namespace name

constexpr bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
constexpr bool isLetter(char c) {
  return isLower(c) || isUpper(c);
}
constexpr char lowered(char c) {
  return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

// Where the blanks before `at` start, in the text that starts at `text`.
inline const char* blanksBefore(const char* text, const char* at) {
  while (at != text && (at[-1] == ' ' || at[-1] == '\t'))
    --at;
  return at;
}

// The line-feed that ends the line holding `at`, or the end of the text.
inline const char* lineEnd(const char* at) {
  const char* const feed = std::strchr(at, '\n');
  return feed != nullptr ? feed : at + std::strlen(at);
}

// The line number that starts the line at `lineStart`: one to four digits; -1 for none.
std::int32_t numberOfLine(const char* lineStart);

// The first byte after the digits at `at`.
inline const char* skipDigits(const char* at) {
  while (isDigit(*at))
    ++at;
  return at;
}

// Whether the line goes on after `at` with more than blanks.
inline bool wordsAfter(const char* at) {
  while (*at == ' ' || *at == '\t' || *at == '\r')
    ++at;
  return *at != '\n' && *at != '\0';
}

// The bytes of a token a message shows, and the longest rest of a line that advice writes whole.
inline constexpr std::size_t kQuotedMax = 24;
inline constexpr std::size_t kLoweredLineMax = 72;
// The longest rest of a line that advice lowers whole without showing it.
inline constexpr std::size_t kLongLineMax = 200;
// The longest message, in words, that tells the lines its mistake swallows when a fix mends it.
inline constexpr long kChainedWordsMax = 40;

// The text from `start` to `end` with its letters in lower case, but for those inside literals,
// mended by its own fixes and with other BASICs' functions written as this one can.
Rewritten loweredOutsideLiterals(const char* start, const char* end);

// The advice that writes a line whole, and whether its fix is the line alone.
struct LineAdvice {
  std::string words;  // such as "write 'print x'"
  bool fixed;         // false when the advice also asks for another line or another loop
};
// `lowering`: the line is written in lower case by the advice; when it would still hold what
// this BASIC lacks, the advice then says so, and is otherwise empty.
LineAdvice adviseLine(const Rewritten& written, bool lowering);

// What the check still finds wrong within a line that advice writes whole: its cause and
// advice, such as "there are no arrays: use one variable (a to z) for each value", and
// whether it is something this BASIC lacks (an array, a function), not a slip.
// The assignments whose value a variable cannot hold, where the first statements of a run
// (printing nothing) first meet them; nothing for a text longer than kTrialTextMax.
inline constexpr std::size_t kTrialTextMax = std::size_t{16} * 1024;
inline constexpr int kTrialStatements = 5000;
std::vector<Diagnostic> trialStores(const std::string& text);

// The statements of `line` that other BASICs separate with ':' outside literals, trimmed.
std::vector<std::string> splitAtColons(const std::string& line);

// Whether the warnings of this name are about their own line alone, true of it wherever it
// stands: not about loops, jumps or other lines.
bool isLocal(std::string_view name);

struct Leftover {
  std::string told;
  bool lacks;
};
std::optional<Leftover> leftover(const std::string& line);

// A token's bytes as a message shows them: quoted, cut short, printable bytes as typed and
// control bytes escaped, so that none reaches a terminal raw.
std::string quote(const char* start, const char* end, std::size_t max = kQuotedMax);

// What a message calls a byte that follows a keyword.
std::string describeByte(char c);

// What to write instead of an array, and of a string variable.
inline constexpr std::string_view kEachValue = "use one variable (a to z) for each value";
inline constexpr std::string_view kLiterals =
    "use numbers, and print text from a literal, as in 'print \"hi\"'";

// What other BASICs mean by a lower-case word that this one lacks, or by a name followed by
// '(' or '$' (`next` is the byte after the word): the cause, and what to write instead. Both
// empty for any other word.
struct WordHint {
  std::string_view cause;     // such as "there is no STEP"
  std::string_view advice;    // such as "FOR counts up by one"; may be empty
  const char* fix = nullptr;  // what to write for the word, when that is evident
};
WordHint wordHint(std::string_view word, char next);

// The hint for a word in capitals at `at`, such as 'INT(' (empty for any other token).
WordHint upperWordHint(const char* at);

// How to set the value an INPUT at `word` would have read: "set the value with LET, as in
// 'let g = 5'", with the INPUT's own variable when it names one.
std::string inputAdvice(const char* word);

// The keyword that `word` most likely misspells (one letter changed, added, left out, or two
// swapped), or empty.
std::string_view nearKeyword(std::string_view word);

// How the run reads a lower-case word that is no keyword, such as "the run reads 'step' as
// variables, one letter each".
std::string asVariables(std::string_view word, const KeywordTable& keywords);

// What follows a complete statement on its line, named by that statement.
enum class Rest { Let, Goto, Gosub, Return, End, Next, For };

// What the run does with the tokens after a statement, by statement: `kind` and `token`
// describe the first of them, `statement` is the statement as written.
std::string restMessage(Rest rest, TokenKind kind, const std::string& token,
                        const std::string& statement);

// What the run does with a ':' that stands alone after a statement, named by that statement
// as written: other BASICs' separator.
std::string colonMessage(Rest rest, const std::string& statement);

// What to write instead, in words, and as an edit of the text when the words quote it.
struct Advice {
  std::string words;           // such as "write '(0 - 2)' for '-2'"
  const char* from = nullptr;  // the bytes the edit replaces; null: no edit
  const char* to = nullptr;
  std::string replacement;
};

// How to write the two-character operator `first` `second` of other BASICs: with the operands
// as typed when the relation from `left` (null: unknown) through the pair at `pairAt` to the
// plain expression at `right` allows, such as "for 'i <= 3' write 'i < 3 + 1'".
Advice pairAdvice(char first, char second, const char* left, const char* pairAt, const char* right);

// How to write the operand after the unary sign at `sign`, such as "write '(0 - 2)' for '-2'";
// `parenthesize` when an operator stands before the sign.
Advice signAdvice(const char* sign, bool parenthesize);

// Past the operand after the unary sign at `sign`: a number, a variable or a parenthesis;
// null for anything else, or when it is too long to quote.
const char* signOperandEnd(const char* sign);

// The variable of the NEXT that `statement` starts, such as the 'i' of "next i"; null when
// it starts none.
const char* nextVariable(const char* statement);

// True when the String token from `start` to `end` ends with its closing quote; without one it
// runs to the end of the text.
constexpr bool isClosedLiteral(const char* start, const char* end) {
  return end - start >= 2 && end[-1] == '"';
}

// An expression as far as the checker needs it: where it starts, and whether it is one number.
struct Operand {
  const char* start;
  bool isNumber;
  std::int32_t value;  // the number's value, when isNumber
};

class Checker {
 public:
  explicit Checker(const char* text);
  // With `advice`, each warning's advice goes there rather than at the end of its message.
  std::vector<Diagnostic> run(std::vector<std::string>* advice = nullptr);

 private:
  // A warning, in three parts told in this order: what the run does, which lines a statement
  // that reads on over its line's end swallows, and what to write instead.
  struct Finding {
    const char* at;
    std::string_view name;
    std::string message;
    std::string advice;
    std::string chain;
    std::optional<Fix> fix;  // its advice as an edit of the text, where it has one meaning
  };
  static constexpr int kNoLine = -1;
  static constexpr int kLineNumberCount = 10'000;  // a line number has at most four digits
  static constexpr std::size_t kNone = ~std::size_t{0};

  // A literal that runs on over line-feeds, for the line numbers it takes in.
  struct Swallowing {
    const char* quote;     // its opening quote
    std::string lineName;  // the line that quote stands on
  };

  // A 'next v' at the start of a line inside such a literal: the run never meets it.
  struct HiddenNext {
    const char* at = nullptr;  // null: none
    std::string lineName;      // the line it starts
    std::size_t literal = 0;   // the literal that holds it, in swallowing_
  };

  // A text line, for naming it: where it starts and its place in the text.
  struct TextLine {
    const char* start = nullptr;  // null: none
    int line = 0;
  };

  // A FOR met in the walk whose NEXT has not come yet, in text order.
  struct OpenLoop {
    char variable;
    TextLine line;  // the FOR's line
  };

  // The lines that the statement ending a derailed line reads on into, told in that line's
  // warning once the walk has passed them: one range, and where the run picks up again.
  struct Chain {
    std::size_t finding = kNone;     // the derailing warning that tells it; kNone: none yet
    TextLine first;                  // the first line read into that holds anything
    TextLine last;                   // the last such line so far
    TextLine beforeLast;             // the one before it, if any
    const char* goesOnAt = nullptr;  // a statement as written that the run starts in `last`
    const char* goesOnEnd = nullptr;
    bool open = false;       // the walk is still in the lines read into
    bool watchElse = false;  // an IF read on into the line: it skips to its own ELSE
    int innerIfs = 0;        // the IFs met there, each owning the next ELSE
    bool ownElse = false;    // that ELSE was met
    std::string when;        // the IFs the swallowing depends on, such as "when the IF holds, "
    bool firstPass = false;  // a FOR's line reads on: later passes run the lines as written
    const char* loopNext = nullptr;  // that FOR's NEXT
  };

  // A GOSUB with a line number that some line has, met in the walk.
  struct Call {
    const char* at;  // its keyword
    std::int32_t target;
  };

  // Subroutines, once the walk has gathered the calls and the RETURNs.
  void checkCalls();
  void checkNesting();
  [[nodiscard]] const char* subroutineEnd(std::int32_t target) const;

  // Line numbers, loops and literals, gathered before the walk.
  void gatherLinesAndLoops();
  void gatherLineOrder(std::int32_t n, std::int32_t previous);
  void gatherSwallowed(const char* quote, const char* end, const char* lineStart, int textLine);
  [[nodiscard]] bool lineExists(std::int32_t n) const;
  [[nodiscard]] bool beginsLine(const char* at) const;
  [[nodiscard]] bool isKeyword(std::string_view word) const;
  [[nodiscard]] std::string lineName(const char* lineStart, int textLine) const;
  [[nodiscard]] std::string lineRange(const char* first, int firstLine, const char* last,
                                      int lastLine) const;

  // Moving and reporting.
  void step();
  void checkToken();
  void checkWord();
  void checkLowerWord(const char* start, const char* end);
  void checkLiteral();
  void report(const char* at, std::string_view name, std::string message, std::string advice = {},
              bool always = false);
  void reportColon(std::string_view name);
  void offer(const char* from, const char* to, std::string replacement);
  void offerLower();
  void offer(const Advice& advice);
  [[nodiscard]] TokenKind kind() const { return scan_.token; }
  [[nodiscard]] const char* at() const { return scan_.tokenStart; }
  [[nodiscard]] std::string current() const;
  [[nodiscard]] bool firstOnLine(const char* at) const;
  [[nodiscard]] bool forOfAnyCase(char variable);
  std::string removeComment(const char* at);
  [[nodiscard]] bool endsStatement() const;
  [[nodiscard]] std::string cause() const;
  [[nodiscard]] std::string withCause(const std::string& symptom) const;
  [[nodiscard]] std::string inPlaceOf(std::string_view rule) const;
  [[nodiscard]] std::string causeAdvice() const;

  // Lines read on into by the line above.
  void statementAtTop();
  [[nodiscard]] bool standsAsWritten() const;
  void readOnInto(const char* lineStart, const char* statementLine);
  void closeChain();
  void closeChainAt(const char* lineStart);
  void checkSwallowedSometimes();
  void watchForElse();
  [[nodiscard]] TextLine nextLineWithText(const char* feed, int line) const;
  [[nodiscard]] std::string swallowed(TextLine first, TextLine last, bool wholly) const;

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
  [[nodiscard]] std::string nearestLines(std::int32_t n) const;
  void leavesLoop(std::int32_t target, const char* keyword);
  void checkFor();
  void checkNext();
  void loopVariable(const char* keyword, bool isFor);
  void openLoop(char variable);
  void closeLoop(char variable, const char* keyword);
  std::size_t expectEquals(std::string_view statement, const char* start);
  std::size_t missingWord(std::string_view name, const std::string& rule, const char* start,
                          std::string_view word);
  void endStatement(Rest rest, const char* start);
  void storedValue(const Operand& value);
  void relation();
  [[nodiscard]] bool isVariableAlone(const Operand& operand) const;
  Operand expression(TokenKind before, const char* beforeAt);
  Operand term(TokenKind before, const char* beforeAt);
  Operand factor(TokenKind before, const char* beforeAt);
  void parenthesis();
  void badOperand(TokenKind before, const char* beforeAt);

  const char* text_;
  Interpreter scan_;  // its scanner and 8-bit store: the checker never executes a statement
  std::vector<Finding> findings_;
  bool reported_ = false;           // the last report() was told, not held back by a derailing one
  std::vector<Finding> lineOrder_;  // line-order findings, gathered before the walk
  bool derailed_ = false;           // a derailing warning was given on this line
  std::size_t derailFinding_ = kNone;        // that warning, in findings_
  const char* derailEnd_ = nullptr;          // the end of that line
  bool inBranch_ = false;                    // checking the statement after THEN or ELSE
  int depth_ = 0;                            // parentheses and IF branches, as the run counts them
  TokenKind previous_ = TokenKind::Newline;  // the kind of the token before the current one
  std::int32_t firstLineValue_ = 0;          // the number a jump finds the first line by
  std::vector<const char*> lineAt_;          // the first line numbered n, by n; null: none
  std::vector<int> lineOfNumber_;            // the text line of each of those
  std::array<const char*, kVariableCount> firstFor_{};   // the first FOR of each variable
  std::array<const char*, kVariableCount> lastNext_{};   // the last NEXT of each variable
  std::array<HiddenNext, kVariableCount> hiddenNext_{};  // the last NEXT inside a literal
  std::vector<Swallowing> swallowing_;                   // the literals that run on over line-feeds
  std::vector<std::size_t> swallowedBy_;         // by n: the one that takes in line n; kNone: none
  std::vector<OpenLoop> loops_;                  // the FORs open at this point of the walk
  std::array<int, kVariableCount> openLoops_{};  // how many of them each variable has
  bool fallsInto_ = true;                // the run may come to this statement from the one above
  bool walkedStatement_ = false;         // a statement stands above the current line
  std::vector<Call> calls_;              // the GOSUBs, in text order
  bool sawGosub_ = false;                // any GOSUB, with a line number or not
  std::vector<const char*> returns_;     // the RETURNs, in text order
  std::vector<const char*> fallenInto_;  // the numbered lines the run may fall into

  // Where the walk stands, beyond the scanner's own state.
  int textLine_ = 1;                       // the text line of the current token
  const char* lineStart_ = nullptr;        // where that line starts
  std::ptrdiff_t stringFeeds_ = 0;         // the line-feeds inside the current String token
  const char* stringLineStart_ = nullptr;  // the line its closing quote stands on
  const char* closedOn_ = nullptr;         // the line where the last literal over lines closed
  std::string closedFrom_;                 // the line that literal opened on
  const char* quoteWord_ = nullptr;        // a word on this line with a '"' in it, if any
  const char* quoteWordEnd_ = nullptr;
  const char* relationStart_ = nullptr;  // the IF condition being read, if any
  int feedsStepped_ = 0;                 // Newline tokens stepped over so far
  bool conditionReadOn_ = false;         // an IF read its condition or THEN on past its line's end
  const char* elseAt_ = nullptr;         // the last ELSE an IF took
  const char* thenLine_ = nullptr;       // the line of the last THEN an IF stepped over
  int thensOnLine_ = 0;                  // the THENs stepped over on that line
  bool elseOnLine_ = false;              // an IF on that line took an ELSE
  // A ':' alone after an assignment or a PRINT list, told with what the rest of its line does
  // once the walk has seen that rest.
  // From the first to the last line start of lines swallowed only on some runs.
  std::vector<std::pair<const char*, const char*>> swallowedSometimes_;
  std::string literalRoot_;  // the line whose literal starts a cascade of literals
  std::vector<bool> jumpedTo_;
  std::vector<bool> forsOfAnyCase_;  // by variable: a FOR of it in any letter case, once asked //
                                     // by line number: a jump's target, once a comment asks
  bool jumpReadOn_ = false;          // a GOSUB took the next line's number for its target
  const char* forLine_ = nullptr;    // the line of the last FOR walked
  const char* forNext_ = nullptr;    // the last NEXT of its variable, if any
  Chain chain_;
};

}  // namespace linebasic::check

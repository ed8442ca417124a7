// The checker's frame: what it gathers before the walk, the checks made on every token, and
// how findings become diagnostics with lines and columns.
#include "check/checker.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "scanner/scanner.h"

namespace linebasic {
namespace check {
namespace {

constexpr std::size_t kQuotedMax = 24;  // bytes of a token shown in a message
constexpr std::size_t kLongestKeyword =
    std::max_element(kKeywords.begin(), kKeywords.end(), [](const Keyword& a, const Keyword& b) {
      return a.text.size() < b.text.size();
    })->text.size();

bool isUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool isLetter(char c) {
  return isLower(c) || isUpper(c);
}
char lowered(char c) {
  return isUpper(c) ? static_cast<char>(c - 'A' + 'a') : c;
}

// Counts the text's lines up to a position; positions must come in ascending order.
class LineCounter {
 public:
  explicit LineCounter(const char* text) : counted_(text), lineStart_(text) {}
  int lineOf(const char* at) {
    while (counted_ < at) {
      const void* feed = std::memchr(counted_, '\n', static_cast<std::size_t>(at - counted_));
      if (feed == nullptr) break;
      counted_ = static_cast<const char*>(feed) + 1;
      lineStart_ = counted_;
      ++line_;
    }
    counted_ = std::max(counted_, at);
    return line_;
  }
  [[nodiscard]] const char* lineStart() const { return lineStart_; }

 private:
  const char* counted_;
  const char* lineStart_;
  int line_ = 1;
};

// What the tokens of a word look like after a keyword glued to it.
std::string describeByte(char c) {
  switch (c) {
    case '\t':
      return "a tab";
    case '\r':
      return "a carriage return";
    case '"':
      return "a double quote";
    default:
      return quote(&c, &c + 1);
  }
}

// A hint for words that other BASICs know.
std::string_view wordHint(std::string_view word) {
  if (word == "rem") return "; there are no comments";
  if (word == "step") return "; there is no STEP, FOR always counts by one";
  if (word == "input") return "; a program reads no input";
  if (word == "stop") return "; write 'end' to stop";
  if (word == "and" || word == "or") return "; write '&' or '|'";
  if (word == "mod") return "; write '%'";
  return "";
}

}  // namespace

std::string quote(const char* start, const char* end) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "'";
  const auto length = static_cast<std::size_t>(end - start);
  for (std::size_t i = 0; i < std::min(length, kQuotedMax); ++i) {
    const auto byte = static_cast<unsigned char>(start[i]);
    if (byte < ' ' || byte >= 127 || byte == '\\') {
      quoted += byte == '\\' ? "\\\\" : std::string{'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    } else {
      quoted += static_cast<char>(byte);
    }
  }
  if (length > kQuotedMax) quoted += "...";
  return quoted + "'";
}

Checker::Checker(const char* text) : text_(text) {}

std::vector<Diagnostic> Checker::run() {
  gatherLinesAndLoops();
  scan_.load(text_);
  previous_ = TokenKind::Newline;
  checkToken();
  startLine();
  // A derailing warning silences its own line, and the tokens that the broken statement takes
  // from the lines after it: checking resumes at a statement that begins a later line.
  while (kind() != TokenKind::EndOfText) {
    if (kind() == TokenKind::Newline) {
      if (at() >= derailEnd_) derailed_ = false;
      step();
      startLine();
    } else {
      if (derailed_ && at() > derailEnd_ && beginsLine(at())) {
        derailed_ = false;
        checkToken();
      }
      statement();
    }
  }

  // The walk reports in text order; should a report ever come late, the sort puts it in place.
  const auto byPosition = [](const Finding& a, const Finding& b) { return a.at < b.at; };
  if (!std::is_sorted(findings_.begin(), findings_.end(), byPosition))
    std::stable_sort(findings_.begin(), findings_.end(), byPosition);
  std::vector<Diagnostic> diagnostics;
  diagnostics.reserve(findings_.size());
  LineCounter lines(text_);
  for (Finding& finding : findings_) {
    const int line = lines.lineOf(finding.at);
    const auto column = static_cast<int>(finding.at - lines.lineStart()) + 1;
    diagnostics.push_back({line, column, finding.name, std::move(finding.message)});
  }
  return diagnostics;
}

// The numbers a jump can find lines by: the value the first line converts to, and the Number
// that starts any later line. And the variable of every FOR and NEXT.
void Checker::gatherLinesAndLoops() {
  scan_.load(text_);
  firstLineValue_ = decimalValue(text_);
  lineAt_.assign(kLineNumberCount, nullptr);
  lineOfNumber_.assign(kLineNumberCount, 0);
  LineCounter lines(text_);
  bool lineStart = true;
  TokenKind before = TokenKind::Newline;
  while (kind() != TokenKind::EndOfText) {
    if (lineStart && kind() == TokenKind::Number) {
      const std::int32_t n = decimalValue(at());
      if (lineAt_[n] == nullptr) {
        lineAt_[n] = at();
        lineOfNumber_[n] = lines.lineOf(at());
      }
    }
    lineStart = kind() == TokenKind::Newline || (lineStart && isBlank(*at()));
    if (isLower(*at()) && (before == TokenKind::For || before == TokenKind::Next)) {
      const auto variable = static_cast<std::size_t>(*at() - 'a');
      if (before == TokenKind::For && firstFor_[variable] == nullptr) firstFor_[variable] = at();
      if (before == TokenKind::Next) lastNext_[variable] = at();
    }
    before = kind();
    scan_.advance();
  }
}

// True when only blanks and a line number stand before `at` on its line.
bool Checker::beginsLine(const char* at) const {
  const auto skipBack = [this](const char* p, bool (*skipped)(char)) {
    while (p != text_ && skipped(p[-1]))
      --p;
    return p;
  };
  const char* const lineStart = skipBack(skipBack(skipBack(at, isBlank), isDigit), isBlank);
  return lineStart == text_ || lineStart[-1] == '\n';
}

bool Checker::isKeyword(std::string_view word) const {
  return scan_.keywords.contains(word);
}

bool Checker::lineExists(std::int32_t n) const {
  return n == firstLineValue_ || (n >= 0 && n < kLineNumberCount && lineAt_[n] != nullptr);
}

void Checker::step() {
  previous_ = kind();
  scan_.advance();
  checkToken();
}

// The checks that depend on the token alone, whatever statement reads it.
void Checker::checkToken() {
  switch (kind()) {
    case TokenKind::Variable:
    case TokenKind::Invalid:
      checkWord();
      break;
    case TokenKind::String: {
      const char* const end = scan_.tokenEnd;
      const auto feeds = std::count(at(), end, '\n');
      if (!isClosedLiteral(at(), end)) {
        report(at(), name::kUnclosedLiteral,
               "the literal has no closing '\"': it takes in the rest of the text");
      } else if (feeds > 0) {
        report(at(), name::kUnclosedLiteral,
               "the literal has no closing '\"' on its line: it runs on over " +
                   std::to_string(feeds) + " line-feed(s) to the next '\"'");
      }
      break;
    }
    default:
      break;
  }
}

// Words that are keywords in other letter case, keywords glued to what follows them, words of
// several letters that are no keyword, and digit runs too long for a number.
void Checker::checkWord() {
  const char* const start = at();
  if (isDigit(*start)) {
    report(start, name::kLongNumber,
           quote(start, scan_.tokenEnd) + " has " + std::to_string(scan_.tokenEnd - start) +
               " digits, and a number has at most 4: the run reads no number here (an "
               "expression reads it as 0, and no jump finds a line by it)");
    return;
  }
  if (start != text_ && isLetter(start[-1])) return;  // the rest of a word already checked
  const char* end = start;
  std::string letters;
  bool mixed = false;
  for (; isLetter(*end); ++end) {
    mixed = mixed || isUpper(*end);
    if (letters.size() < kLongestKeyword + 1) letters += lowered(*end);
  }
  if (mixed && isKeyword(letters)) {
    report(
        start, name::kKeywordCase,
        quote(start, end) + " is no keyword, since keywords are lower case: " +
            (kind() == TokenKind::Invalid ? "the run skips this word (an expression reads it as 0)"
                                          : "the run reads its first letter as a variable") +
            "; write '" + letters + "'");
    return;
  }
  if (kind() != TokenKind::Variable) return;
  const char* lowerEnd = start;
  while (isLower(*lowerEnd))
    ++lowerEnd;
  const std::string_view word(start, static_cast<std::size_t>(lowerEnd - start));
  if (word.size() < 2) return;
  if (isKeyword(word)) {
    report(start, name::kKeywordGlued,
           quote(start, lowerEnd) + " is no keyword when " + describeByte(*lowerEnd) +
               " follows it: the run reads its letters as variables; put a space after it");
  } else {
    report(start, name::kUnknownWord,
           quote(start, lowerEnd) +
               " is no keyword, and a variable has one letter: the run reads " +
               quote(start, start + 1) + " as a variable and scans the rest again" +
               std::string(wordHint(word)));
  }
}

void Checker::report(const char* at, std::string_view name, std::string message) {
  if (derailed_) return;
  findings_.push_back({at, name, std::move(message)});
  const bool derails = name != name::kMissingLine && name != name::kDuplicateLine &&
                       name != name::kValueRange && name != name::kLongLiteral &&
                       name != name::kNextWithoutFor && name != name::kForWithoutNext;
  if (derails) {
    derailed_ = true;
    const char* const feed = std::strchr(at, '\n');
    derailEnd_ = feed != nullptr ? feed : at + std::strlen(at);
  }
}

// The current token as a message shows it.
std::string Checker::current() const {
  if (kind() == TokenKind::Newline) return "the line-feed";
  if (kind() == TokenKind::EndOfText) return "the end of the text";
  return quote(at(), scan_.tokenEnd);
}

// The tokens a statement may end on: its line's end, and in a branch of an IF also an ELSE.
bool Checker::endsStatement() const {
  return kind() == TokenKind::Newline || kind() == TokenKind::EndOfText ||
         (inBranch_ && kind() == TokenKind::Else);
}

}  // namespace check

std::vector<Diagnostic> checkProgram(std::string_view text) {
  const std::string terminated(text.substr(0, text.find('\0')));
  return check::Checker(terminated.c_str()).run();
}

std::string formatDiagnostic(const Diagnostic& diagnostic, std::string_view file) {
  std::string formatted;
  if (!file.empty()) formatted.append(file).append(":");
  formatted += std::to_string(diagnostic.line) + ":" + std::to_string(diagnostic.column) +
               ": warning: " + diagnostic.message + " [";
  formatted.append(diagnostic.name).append("]");
  return formatted;
}

}  // namespace linebasic

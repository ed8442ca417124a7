// The checker's frame: what it gathers before the walk, the checks made on every token, and
// how findings become diagnostics with lines and columns.
#include "check/checker.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

#include "check/rewrite.h"
#include "scanner/scanner.h"

namespace linebasic {
namespace check {
namespace {

constexpr std::string_view kOwnLines = "put each statement on a line of its own";

constexpr std::size_t kLongestKeyword =
    std::max_element(kKeywords.begin(), kKeywords.end(), [](const Keyword& a, const Keyword& b) {
      return a.text.size() < b.text.size();
    })->text.size();

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

}  // namespace

Checker::Checker(const char* text) : text_(text) {}

std::vector<Diagnostic> Checker::run(std::vector<std::string>* advice) {
  gatherLinesAndLoops();
  scan_.load(text_);
  previous_ = TokenKind::Newline;
  lineStart_ = text_;
  checkToken();
  startLine();
  // A derailing warning silences its own line, and the tokens that the broken statement takes
  // from the lines after it: checking resumes at a statement that begins a later line.
  while (kind() != TokenKind::EndOfText) {
    if (kind() == TokenKind::Newline) {
      if (chain_.open) closeChain();
      if (at() >= derailEnd_) {
        derailed_ = false;
      }
      step();
      startLine();
    } else {
      if (derailed_ && at() > derailEnd_ && beginsLine(at())) {
        if (chain_.open && !chain_.watchElse) closeChainAt(lineStart_);
        derailed_ = false;
        if (kind() != TokenKind::String) checkToken();  // a literal is told in any case
      }
      statementAtTop();
    }
  }
  if (chain_.open) closeChain();
  checkCalls();
  checkSwallowedSometimes();

  // The walk reports in text order; should a report ever come late, the sort puts it in place.
  const auto byPosition = [](const Finding& a, const Finding& b) { return a.at < b.at; };
  if (!std::is_sorted(findings_.begin(), findings_.end(), byPosition))
    std::stable_sort(findings_.begin(), findings_.end(), byPosition);
  std::vector<Finding> merged;
  merged.reserve(findings_.size() + lineOrder_.size());
  std::merge(std::make_move_iterator(findings_.begin()), std::make_move_iterator(findings_.end()),
             std::make_move_iterator(lineOrder_.begin()), std::make_move_iterator(lineOrder_.end()),
             std::back_inserter(merged), byPosition);
  std::vector<Diagnostic> diagnostics;
  diagnostics.reserve(merged.size());
  LineCounter lines(text_);
  for (Finding& finding : merged) {
    const int line = lines.lineOf(finding.at);
    const auto column = static_cast<int>(finding.at - lines.lineStart()) + 1;
    // A chain is left out where it would make a fixed message long: the fix mends it too.
    const auto words = [](const std::string& text) {
      return std::count(text.begin(), text.end(), ' ') + 1;
    };
    const bool longer =
        words(finding.message) + words(finding.chain) + words(finding.advice) > kChainedWordsMax;
    if (!finding.chain.empty() && !(longer && finding.fix)) finding.message += "; " + finding.chain;
    if (advice != nullptr) {
      advice->push_back(std::move(finding.advice));
    } else if (!finding.advice.empty()) {
      finding.message += "; " + finding.advice;
    }
    diagnostics.push_back(
        {line, column, finding.name, std::move(finding.message), std::move(finding.fix)});
  }
  return diagnostics;
}

// The numbers a jump can find lines by: the value the first line converts to, and the Number
// that starts any later line; the lines numbered lower than the line before them; the variable
// of every FOR and NEXT; and the line numbers that literals running over line-feeds take in.
void Checker::gatherLinesAndLoops() {
  scan_.load(text_);
  firstLineValue_ = decimalValue(text_);
  lineAt_.assign(kLineNumberCount, nullptr);
  lineOfNumber_.assign(kLineNumberCount, 0);
  LineCounter lines(text_);
  bool lineStart = true;
  const char* lineStartAt = text_;
  std::int32_t previousNumber = -1;
  TokenKind before = TokenKind::Newline;
  while (kind() != TokenKind::EndOfText) {
    if (lineStart && kind() == TokenKind::Number) {
      const std::int32_t n = decimalValue(at());
      if (lineAt_[n] == nullptr) {
        lineAt_[n] = at();
        lineOfNumber_[n] = lines.lineOf(at());
        if (n < previousNumber) gatherLineOrder(n, previousNumber);
      }
      previousNumber = n;
    }
    lineStart = kind() == TokenKind::Newline || (lineStart && isBlank(*at()));
    if (kind() == TokenKind::Newline) lineStartAt = at() + 1;
    if (kind() == TokenKind::String) {
      const char* const end = scan_.tokenEnd;
      const void* const feed = std::memchr(at(), '\n', static_cast<std::size_t>(end - at()));
      if (feed != nullptr) {
        gatherSwallowed(at(), end, lineStartAt, lines.lineOf(at()));
        lineStartAt =
            std::find(std::reverse_iterator(end), std::reverse_iterator(at()), '\n').base();
      }
    }
    if (kind() == TokenKind::Gosub) sawGosub_ = true;  // even in a line the run swallows
    if (isLower(*at()) && (before == TokenKind::For || before == TokenKind::Next)) {
      const auto variable = static_cast<std::size_t>(*at() - 'a');
      if (before == TokenKind::For && firstFor_[variable] == nullptr) firstFor_[variable] = at();
      if (before == TokenKind::Next) lastNext_[variable] = at();
    }
    before = kind();
    scan_.advance();
  }
}

void Checker::gatherLineOrder(std::int32_t n, std::int32_t previous) {
  const std::string number = std::to_string(n);
  lineOrder_.push_back({at(),
                        name::kLineOrder,
                        "line " + number + " comes after line " + std::to_string(previous) +
                            ": lines run in the order they are written, not by number (a jump "
                            "finds the first line numbered " +
                            number + ", scanning from the top)",
                        "move it above line " + std::to_string(previous),
                        {},
                        {}});
}

// The line numbers at the starts of the lines inside the literal from `quote` to `end`, and
// the NEXTs that start those lines.
void Checker::gatherSwallowed(const char* quote, const char* end, const char* lineStart,
                              int textLine) {
  if (swallowedBy_.empty()) swallowedBy_.assign(kLineNumberCount, kNone);
  const std::size_t literal = swallowing_.size();
  swallowing_.push_back({quote, lineName(lineStart, textLine)});
  int line = textLine;
  for (const char* feed = std::find(quote, end, '\n'); feed != end;
       feed = std::find(feed + 1, end, '\n')) {
    ++line;
    const char* const number = skipBlanks(feed + 1);
    if (!isDigit(*number)) continue;
    const std::int32_t n = decimalValue(number);
    if (n < kLineNumberCount && swallowedBy_[static_cast<std::size_t>(n)] == kNone)
      swallowedBy_[static_cast<std::size_t>(n)] = literal;
    const char* statement = number;
    while (isDigit(*statement))
      ++statement;
    const char* const variable = nextVariable(skipBlanks(statement));
    if (variable != nullptr && variable < end) {
      hiddenNext_[static_cast<std::size_t>(*variable - 'a')] = {variable, lineName(feed + 1, line),
                                                                literal};
    }
  }
}

std::int32_t numberOfLine(const char* lineStart) {
  const char* const first = skipBlanks(lineStart);
  const char* end = first;
  while (isDigit(*end))
    ++end;
  return end == first || end - first >= kNumberScanLimit ? -1 : decimalValue(first);
}

// "line 40" for a line that starts with a line number, "text line 7" for one that does not.
std::string Checker::lineName(const char* lineStart, int textLine) const {
  const std::int32_t n = numberOfLine(lineStart);
  if (n >= 0) return "line " + std::to_string(n);
  return "text line " + std::to_string(textLine);
}

// The lines from the one that starts at `first` to the one that starts at `last`: by their
// numbers when both have one and they rise.
std::string Checker::lineRange(const char* first, int firstLine, const char* last,
                               int lastLine) const {
  if (first == last) return lineName(first, firstLine);
  const std::int32_t from = numberOfLine(first);
  const std::int32_t to = numberOfLine(last);
  if (from >= 0 && to > from) return "lines " + std::to_string(from) + " to " + std::to_string(to);
  return "text lines " + std::to_string(firstLine) + " to " + std::to_string(lastLine);
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
  if (previous_ == TokenKind::Newline) {
    ++feedsStepped_;
    ++textLine_;
    lineStart_ = at() + 1;
    quoteWord_ = nullptr;
  } else if (previous_ == TokenKind::String && stringFeeds_ > 0) {
    textLine_ += static_cast<int>(stringFeeds_);
    lineStart_ = stringLineStart_;
    quoteWord_ = nullptr;
  }
  scan_.advance();
  checkToken();
  if (chain_.watchElse) watchForElse();
}

// The checks that depend on the token alone, whatever statement reads it.
void Checker::checkToken() {
  switch (kind()) {
    case TokenKind::Invalid:
      if (std::memchr(at(), '"', static_cast<std::size_t>(scan_.tokenEnd - at())) != nullptr) {
        quoteWord_ = at();
        quoteWordEnd_ = scan_.tokenEnd;
      }
      checkWord();
      break;
    case TokenKind::Variable:
      checkWord();
      break;
    case TokenKind::String:
      checkLiteral();
      break;
    default:
      break;
  }
}

// A literal without its closing quote on its own line: the run reads on to the next '"',
// wherever that is, and never runs the lines in between. Told even on a line that has gone
// wrong already, since it says which lines are lost.
void Checker::checkLiteral() {
  const char* const quoteAt = at();
  const char* const end = scan_.tokenEnd;
  stringFeeds_ = 0;
  const char* firstFeed = nullptr;
  const char* lastFeed = nullptr;
  const char* feedBeforeLast = nullptr;
  for (const char* feed = std::find(quoteAt, end, '\n'); feed != end;
       feed = std::find(feed + 1, end, '\n')) {
    if (firstFeed == nullptr) firstFeed = feed;
    feedBeforeLast = lastFeed;
    lastFeed = feed;
    ++stringFeeds_;
  }
  const bool closed = isClosedLiteral(quoteAt, end);
  if (closed && lastFeed == nullptr) return;
  const int feeds = static_cast<int>(stringFeeds_);
  // Why this '"' opens a literal at all: the one before it closed here, or a word took a '"'.
  std::string message;
  std::string mend;  // the advice for a literal that an earlier mistake opens
  if (closedOn_ == lineStart_ && !closedFrom_.empty()) {
    mend = "mend the literal on " + literalRoot_ + " first";
    message =
        "the literal from " + closedFrom_ + " closes on this line, so this '\"' opens another; ";
  } else if (quoteWord_ != nullptr && quoteWord_ < quoteAt) {
    message = "the run reads " + quote(quoteWord_, quoteWordEnd_) +
              " as one word, quote and all, so the '\"' here opens a literal; ";
    mend = "write that word in lower case";
  }
  // A cause is told first; the literal it opens is then "another, which runs on to ...".
  const bool caused = !message.empty();
  if (!caused || mend.starts_with("write")) literalRoot_ = lineName(lineStart_, textLine_);
  if (caused) message.replace(message.size() - 2, 2, ", ");
  if (lastFeed != nullptr) {
    closedOn_ = lastFeed + 1;
    closedFrom_ = lineName(lineStart_, textLine_);
  }
  if (closed) {
    stringLineStart_ = lastFeed + 1;
    const std::string closing = lineName(lastFeed + 1, textLine_ + feeds);
    const std::string skipped = feeds > 1 ? lineRange(firstFeed + 1, textLine_ + 1,
                                                      feedBeforeLast + 1, textLine_ + feeds - 1) +
                                                " and "
                                          : "";
    message += (caused ? "which runs on to "
                       : "the literal has no closing '\"' on its line: it runs on to ") +
               closing + ", column " + std::to_string(end - 1 - lastFeed) + ", and takes in " +
               skipped + "the start of " + closing + " as text";
  } else {
    message += caused ? "which takes in the rest of the text"
                      : "the literal has no closing '\"': it takes in the rest of the text";
    if (lastFeed != nullptr) {
      stringLineStart_ = lastFeed + 1;
      // An empty line after the text's last line-feed is no line the run could skip.
      const bool lastIsEmpty = lastFeed + 1 == end;
      const char* const last = lastIsEmpty ? feedBeforeLast : lastFeed;
      if (last != nullptr) {
        message += ", " +
                   lineRange(firstFeed + 1, textLine_ + 1, last + 1,
                             textLine_ + feeds - (lastIsEmpty ? 1 : 0)) +
                   " too";
      }
    }
  }
  // The first literal of a cascade is the one to mend: it wants its '"' at its line's end.
  if (!message.starts_with("the literal has no")) {
    report(quoteAt, name::kUnclosedLiteral, message, mend, true);
    return;
  }
  report(quoteAt, name::kUnclosedLiteral, message, "close it with '\"' at its line's end", true);
  const char* close = firstFeed != nullptr ? firstFeed : end;
  if (close > quoteAt + 1 && close[-1] == '\r') --close;
  offer(close, close, "\"");
}

namespace {

// `text` mended by the fixes its own check finds (a 'mod' that was 'MOD' becomes '%'), so that
// one piece of advice does what several rounds would.
std::string mended(std::string text) {
  for (int round = 0; round < 4; ++round) {
    std::vector<Diagnostic> found = checkProgram(text);
    std::erase_if(found, [](const Diagnostic& d) { return !d.fix; });
    if (found.empty()) break;
    // From the last, each clear of the one after it, so that the offsets before still hold.
    std::size_t clearTo = text.size() + 1;
    for (std::size_t i = found.size(); i-- > 0;) {
      const Fix& fix = *found[i].fix;
      if (fix.offset + fix.length > clearTo || fix.offset > text.size()) continue;
      text.replace(fix.offset, fix.length, fix.replacement);
      clearTo = fix.offset;
    }
  }
  return text;
}

}  // namespace

Rewritten loweredOutsideLiterals(const char* start, const char* end) {
  std::string text(start, end);
  bool inLiteral = false;
  for (char& c : text) {
    if (c == '"') inLiteral = !inLiteral;
    if (!inLiteral) c = lowered(c);
  }
  const bool semicolon = text.find_last_not_of(" \t") != std::string::npos &&
                         text[text.find_last_not_of(" \t")] == ';';
  text = mended(std::move(text));
  Rewritten written = rewriteFunctions(text);
  if (written.line.size() > kLoweredLineMax) written = {text, {}};
  written.line = mended(std::move(written.line));
  written.droppedSemicolon = semicolon && !written.line.ends_with(';');
  return written;
}

LineAdvice adviseLine(const Rewritten& written, bool lowering) {
  if (kCompactChecker) return {"write '" + written.line + "'", true};
  if (std::string step = stepAdvice(written.line); !step.empty())
    return {"there is no STEP, so " + step, false};
  // v = ... rnd(...) ...: a value to choose.
  const std::vector<Piece> read = pieces(written.line);
  const auto is = [&](std::size_t i, std::string_view text) {
    return i < read.size() &&
           std::string_view(written.line).substr(read[i].begin, read[i].end - read[i].begin) ==
               text;
  };
  const std::size_t assigned = is(0, "let") ? 1 : 0;
  if (assigned < read.size() && read[assigned].kind == 'w' &&
      read[assigned].end == read[assigned].begin + 1 && is(assigned + 1, "=")) {
    for (std::size_t i = assigned + 2; i + 1 < read.size(); ++i) {
      if (is(i, "rnd") && is(i + 1, "(")) {
        return {"there are no random numbers: choose the value, as in '" +
                    written.line.substr(read[assigned].begin, 1) + " = 7'",
                false};
      }
    }
  }
  std::optional<Leftover> left = leftover(written.line);
  for (const std::string& after : written.after) {
    if (!left) left = leftover(after);
  }
  // Statements that other BASICs separate with ':' go on lines of their own.
  if (left && left->told.starts_with("':' is no separator")) {
    const std::vector<std::string> statements = splitAtColons(written.line);
    std::optional<Leftover> lack;
    for (const std::string& statement : statements) {
      if (const std::optional<Leftover> own = leftover(statement); own && own->lacks && !lack)
        lack = own;
    }
    if (statements.size() > 1) {
      // Statements that would still hold what this BASIC lacks are not worth writing out.
      if (lack) {
        return {"put each statement on a line of its own, in lower case; but " + lack->told, false};
      }
      std::string words = "write '" + statements.front() + "'";
      for (std::size_t i = 1; i < statements.size(); ++i)
        words += (i + 1 == statements.size() ? " and '" : ", '") + statements[i] + "'";
      return {words + ", each on a line of its own", false};
    }
  }
  // A PRINT of literals and text variables prints its literals alone.
  const bool literal =
      std::any_of(read.begin(), read.end(), [](const Piece& p) { return p.kind == 'l'; });
  if (left && left->told.starts_with("there are no string variables") && written.after.empty() &&
      is(0, "print") && literal) {
    // Each item 'v$' or 'v$(...)', with the ';' or ',' before it, goes.
    std::string printed = written.line;
    for (std::size_t i = read.size(); i-- > 1;) {
      if (read[i - 1].kind != 'w' || read[i - 1].end != read[i - 1].begin + 1 || !is(i, "$"))
        continue;
      std::size_t first = i - 1;
      if (first > 1 && (is(first - 1, ";") || is(first - 1, ","))) --first;
      std::size_t end = read[i].end;
      if (is(i + 1, "(")) {
        const std::size_t close = written.line.find(')', read[i + 1].begin);
        if (close == std::string::npos) continue;
        end = close + 1;
      }
      printed.erase(read[first].begin, end - read[first].begin);
    }
    if (printed != written.line && printed.find('$') == std::string::npos && !leftover(printed))
      return {"there are no string variables: write '" + printed + "', the text it can print",
              false};
  }
  // A line that would still hold what this BASIC lacks is not worth writing out.
  if (left && left->lacks)
    return {lowering ? "write it in lower case, but " + left->told : std::string(), false};
  // A FOR past what a variable holds counts to the most it holds.
  const std::size_t notAt = left ? left->told.find(", not at ") : std::string::npos;
  if (left && written.after.empty() && notAt != std::string::npos &&
      left->told.starts_with("a variable holds at most 127: ")) {
    const std::size_t from = notAt + 9;
    const std::string limit =
        left->told.substr(from, left->told.find_first_not_of("0123456789", from) - from);
    for (std::size_t i = 1; i < read.size(); ++i) {
      if (!is(i - 1, "to") || !is(i, limit)) continue;
      std::string counted = written.line;
      counted.replace(read[i].begin, read[i].end - read[i].begin, "127");
      std::string words = "write '" + counted;
      words += "': a variable holds at most 127, so the loop cannot reach ";
      words += limit;
      return {words, false};
    }
  }
  const std::string but = left ? "; but " + left->told : std::string();
  if (!written.after.empty()) {
    std::string after;
    for (const std::string& line : written.after)
      after += (after.empty() ? "'" : ", '") + line + "'";
    return {"write '" + written.line + "' and, on " +
                (written.after.size() == 1 ? "a line of its own" : "lines of their own") +
                " after it, " + after + but,
            false};
  }
  return {"write '" + written.line + "'" + but +
              (written.droppedSemicolon
                   ? "; the ';' at its end goes, since every PRINT ends its line anyway"
                   : ""),
          true};
}

std::vector<std::string> splitAtColons(const std::string& line) {
  std::vector<std::string> statements;
  std::string statement;
  bool inLiteral = false;
  for (const char c : line + ":") {
    inLiteral = inLiteral != (c == '"');
    if (c != ':' || inLiteral) {
      statement += c;
      continue;
    }
    const std::size_t first = statement.find_first_not_of(' ');
    if (first != std::string::npos)
      statements.push_back(statement.substr(first, statement.find_last_not_of(' ') + 1 - first));
    statement.clear();
  }
  return statements;
}

bool isLocal(std::string_view name) {
  return name == name::kUnknownWord || name == name::kStrayToken || name == name::kNotAVariable ||
         name == name::kPrintItem || name == name::kMissingThen || name == name::kMissingEquals ||
         name == name::kMissingTo || name == name::kMissingParen || name == name::kMissingOperand ||
         name == name::kOperatorPair || name == name::kUnarySign || name == name::kRestOfLine ||
         name == name::kValueRange || name == name::kMissingStatement ||
         name == name::kKeywordCase || name == name::kKeywordGlued || name == name::kLongNumber;
}

std::optional<Leftover> leftover(const std::string& line) {
  if (kCompactChecker) return std::nullopt;
  // The lines it jumps to are taken to be there.
  std::string text = line + "\n";
  for (const std::string& target : jumpTargets(line))
    text += target + " end\n";
  std::vector<std::string> advice;
  const std::vector<Diagnostic> left = Checker(text.c_str()).run(&advice);
  // What this BASIC lacks comes first: the rest is moot until it is rewritten.
  std::optional<Leftover> first;
  for (std::size_t i = 0; i < left.size(); ++i) {
    // A line alone lacks the loops around it: only what is wrong within the line is told.
    const std::string_view name = left[i].name;
    const std::string& message = left[i].message;
    const bool lacks =
        name == name::kUnknownWord || name == name::kStrayToken || name == name::kNotAVariable ||
        message.starts_with("there is no ") || message.starts_with("there are no ") ||
        message.starts_with("numbers are whole") ||
        (name == name::kValueRange && message.find(" is stored as ") != std::string::npos);
    if (!isLocal(name) || name == name::kMissingStatement || name == name::kKeywordCase ||
        name == name::kKeywordGlued || message.find("runs as meant") != std::string::npos)
      continue;
    // A value's range is told whole: its rule is the point.
    const std::string cause =
        name == name::kValueRange ? message : message.substr(0, message.find(": "));
    Leftover found{cause + (advice[i].empty() ? "" : ": " + advice[i]), lacks};
    if (lacks) return found;
    if (!first) first = std::move(found);
  }
  return first;
}

// Words that are keywords in other letter case, keywords glued to what follows them, words of
// several letters that are no keyword, and digit runs too long for a number.
void Checker::checkWord() {
  const char* const start = at();
  if (isDigit(*start)) {
    const std::string digits = quote(start, scan_.tokenEnd) + " has " +
                               std::to_string(scan_.tokenEnd - start) +
                               " digits, and a number has at most 4: ";
    const bool target = previous_ == TokenKind::Goto || previous_ == TokenKind::Gosub;
    report(start, name::kLongNumber,
           digits + (previous_ == TokenKind::Newline ? "no jump finds this line by it"
                     : target                        ? "no line has it, so the jump ends the run"
                     : previous_ == TokenKind::Print || previous_ == TokenKind::Semicolon ||
                             previous_ == TokenKind::Comma
                         ? "it is no item, so it ends the PRINT list there"
                         : "the run reads it as 0"),
           previous_ == TokenKind::Equals || previous_ == TokenKind::To
               ? "a variable holds -128 to 127 anyway: use a number in that range"
               : "");
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
    const bool operand = previous_ == TokenKind::If || previous_ == TokenKind::To ||
                         (previous_ >= TokenKind::Plus && previous_ <= TokenKind::Equals &&
                          previous_ != TokenKind::RightParen);
    // Other BASICs write whole lines in capitals: the advice then lowers the rest of the line
    // (outside literals) at once, when it is short enough to show.
    const char* restEnd = lineEnd(start);
    if (restEnd > start && restEnd[-1] == '\r') --restEnd;
    const Rewritten written = restEnd - start <= static_cast<std::ptrdiff_t>(kLoweredLineMax)
                                  ? loweredOutsideLiterals(start, restEnd)
                                  : Rewritten{std::string(start, restEnd), {}};
    const std::string& rest = written.line;
    const bool wholeLine =
        rest.compare(letters.size(), std::string::npos,
                     std::string_view(end, static_cast<std::size_t>(restEnd - end))) != 0 &&
        rest.size() <= kLoweredLineMax;
    const bool lowered = restEnd - start <= static_cast<std::ptrdiff_t>(kLoweredLineMax);
    LineAdvice line = wholeLine ? adviseLine(written, true) : LineAdvice{};
    // A line too long to show whole is lowered all the same, told in words.
    const bool longLine = !kCompactChecker && (!lowered || rest.size() > kLoweredLineMax) &&
                          restEnd - start <= static_cast<std::ptrdiff_t>(kLongLineMax);
    const std::string longRest =
        longLine ? loweredOutsideLiterals(start, restEnd).line : std::string();
    if (longLine &&
        longRest.compare(letters.size(), std::string::npos,
                         std::string_view(end, static_cast<std::size_t>(restEnd - end))) != 0) {
      const std::optional<Leftover> left = leftover(longRest);
      line.words = "write the whole line in lower case, outside its literals" +
                   (left ? "; but " + left->told : "");
      line.fixed = !left || !left->lacks;
    } else if (!wholeLine) {
      // Only the keyword changes; what the line still meets is told all the same.
      const std::optional<Leftover> left = lowered ? leftover(rest) : std::nullopt;
      line.words = "write '" + letters + "'" + (left ? "; but " + left->told : "");
    }
    report(start, name::kKeywordCase,
           std::string(wholeLine || line.words.starts_with("write the whole line")
                           ? "keywords and variables are lower case: "
                           : "keywords are lower case: ") +
               (kind() != TokenKind::Invalid ? "the run reads " + quote(start, start + 1) + " of " +
                                                   quote(start, end) + " as a variable"
                : operand ? "the run reads " + quote(start, end) + " as 0"
                          : "the run skips " + quote(start, end)),
           line.words);
    if (wholeLine) {
      if (line.fixed) offer(start, restEnd, rest);
    } else if (line.words.starts_with("write the whole line")) {
      if (line.fixed) offer(start, restEnd, longRest);
    } else {
      offer(start, end, letters);
    }
    return;
  }
  if (kind() == TokenKind::Variable) checkLowerWord(start, end);
}

// How to remove a comment at `at`: a line that a jump goes to keeps its number.
std::string Checker::removeComment(const char* at) {
  if (kCompactChecker || !firstOnLine(at)) return "remove the comment";
  if (jumpedTo_.empty()) {
    // The numbers after GOTO, GOSUB, THEN and ELSE in any letter case, as the writer meant them.
    jumpedTo_.assign(kLineNumberCount, false);
    std::string lowered;
    for (const char* c = text_; *c != '\0'; ++c)
      lowered += check::lowered(*c);
    for (const std::string& target : jumpTargets(lowered))
      jumpedTo_[static_cast<std::size_t>(decimalValue(target.c_str()))] = true;
  }
  const std::int32_t n = numberOfLine(lineStart_);
  return n >= 0 && jumpedTo_[static_cast<std::size_t>(n)]
             ? "remove the comment, but keep the line's number: a jump goes there"
             : "remove the comment";
}

// Whether "for" and then `variable`, in any letter case, stand anywhere in the text.
bool Checker::forOfAnyCase(char variable) {
  if (kCompactChecker) return true;  // then no NEXT is offered another variable
  if (forsOfAnyCase_.empty()) {
    forsOfAnyCase_.assign(kVariableCount, false);
    for (const char* c = text_; *c != '\0'; ++c) {
      if (lowered(c[0]) != 'f' || lowered(c[1]) != 'o' || lowered(c[2]) != 'r') continue;
      if (c != text_ && isLetter(c[-1])) continue;
      const char* const name = skipBlanks(c + 3);
      if (isLetter(*name) && !isLetter(name[1]))
        forsOfAnyCase_[static_cast<std::size_t>(lowered(*name) - 'a')] = true;
    }
  }
  return isLower(variable) && forsOfAnyCase_[static_cast<std::size_t>(variable - 'a')];
}

// Whether `at` starts the first statement of its line, right after the line's number.
bool Checker::firstOnLine(const char* at) const {
  return skipBlanks(skipDigits(skipBlanks(lineStart_))) == at;
}

// A word that starts with a lower-case letter and is no keyword.
void Checker::checkLowerWord(const char* start, const char* end) {
  const char* lowerEnd = start;
  while (isLower(*lowerEnd))
    ++lowerEnd;
  const std::string_view word(start, static_cast<std::size_t>(lowerEnd - start));
  if (word.size() < 2) {
    const char* digitsEnd = lowerEnd;
    while (isDigit(*digitsEnd))
      ++digitsEnd;
    if (digitsEnd == lowerEnd) return;
    report(start, name::kUnknownWord,
           quote(start, digitsEnd) +
               " is no variable, and a variable is one letter: the run reads " +
               quote(start, lowerEnd) + " as a variable, then " + quote(lowerEnd, digitsEnd),
           "give each value a letter of its own");
  } else if (isKeyword(word)) {
    if (word == "gosub") sawGosub_ = true;  // a subroutine is meant, if not called
    // A PRINT item cannot start with '(': a space alone would end the list there.
    const bool item = word == "print" && *lowerEnd == '(';
    report(start, name::kKeywordGlued,
           quote(start, lowerEnd) + " is no keyword when " + describeByte(*lowerEnd) +
               " follows it: the run reads its letters as variables",
           *lowerEnd == ':' ? std::string(kOwnLines)
           : item           ? "write 'print 0+(' for 'print('"
                            : "put a space after it");
    if (item) {
      offer(start, lowerEnd + 1, "print 0+(");
    } else if (*lowerEnd != ':') {
      offer(lowerEnd, lowerEnd, " ");
    }
  } else if (word == "rem") {
    report(start, name::kUnknownWord,
           std::string(wordHint(word, *lowerEnd).cause) +
               (wordsAfter(lowerEnd) ? ": the run reads 'rem' and the words after it as statements"
                : firstOnLine(start) ? ": the run reads 'rem' as 'let r = m'"
                                     : ": the run reads 'rem' as variables"),
           removeComment(start));
    offer(blanksBefore(text_, start), lineEnd(start), "");
  } else {
    static_cast<void>(end);
    const WordHint hint = wordHint(word, *lowerEnd);
    const std::string reads = asVariables(word, scan_.keywords);
    const std::string_view near = hint.cause.empty() ? nearKeyword(word) : std::string_view();
    // INT, ABS and STEP: advice that writes the user's own line.
    const char* const lineFrom = skipBlanks(skipDigits(skipBlanks(lineStart_)));
    const char* lineTo = lineEnd(start);
    if (lineTo > lineFrom && lineTo[-1] == '\r') --lineTo;
    const std::string line(lineFrom, lineTo);
    const Rewritten written =
        word == "int" || word == "abs" || word == "on" ? rewriteFunctions(line) : Rewritten{};
    const bool rewritten = !written.line.empty() && written.line.size() <= kLoweredLineMax &&
                           (written.line != line || !written.after.empty());
    const std::string step = word == "step" ? stepAdvice(line) : std::string();
    const LineAdvice lineAdvice = rewritten ? adviseLine(written, false) : LineAdvice{step, false};
    report(start, name::kUnknownWord,
           hint.cause.empty() ? quote(start, lowerEnd) + " is no keyword: " + reads
                              : std::string(hint.cause) + ": " + reads,
           !lineAdvice.words.empty() ? lineAdvice.words
           : word == "input"         ? inputAdvice(start)
           : near.empty()            ? std::string(hint.advice)
                                     : "did you mean '" + std::string(near) + "'?");
    if (hint.fix != nullptr) offer(start, lowerEnd, hint.fix);
    if (lineAdvice.fixed) offer(lineFrom, lineTo, written.line);
  }
}

// A warning, unless a derailing one was given on this line already; `always` for the warnings
// that are told all the same.
void Checker::report(const char* at, std::string_view name, std::string message, std::string advice,
                     bool always) {
  reported_ = !derailed_ || always;
  if (!reported_) return;
  findings_.push_back({at, name, std::move(message), std::move(advice), {}, {}});
  if (derailed_) return;
  const bool derails = name != name::kMissingLine && name != name::kDuplicateLine &&
                       name != name::kValueRange && name != name::kLongLiteral &&
                       name != name::kNextWithoutFor && name != name::kForWithoutNext &&
                       name != name::kNextOuterLoop && name != name::kLoopRunsOnce &&
                       name != name::kLoopDepth && name != name::kGosubDepth &&
                       name != name::kFallsIntoSubroutine && name != name::kReturnWithoutGosub;
  if (derails) {
    derailed_ = true;
    derailFinding_ = findings_.size() - 1;
    const char* const feed = std::strchr(at, '\n');
    derailEnd_ = feed != nullptr ? feed : at + std::strlen(at);
  }
}

// The advice of the warning just told, as an edit of the text: `replacement` in place of the
// bytes from `from` to `to`.
void Checker::offer(const char* from, const char* to, std::string replacement) {
  if (!reported_) return;
  findings_.back().fix = Fix{static_cast<std::size_t>(from - text_),
                             static_cast<std::size_t>(to - from), std::move(replacement)};
}

void Checker::offer(const Advice& advice) {
  if (advice.from != nullptr) offer(advice.from, advice.to, advice.replacement);
}

// A ':' alone that ends an assignment or a PRINT list: the run steps over it and runs the
// statement after it on the same terms as the one before, as other BASICs do, but for one
// case: after THEN, with an ELSE further on the line, a true IF runs one statement and skips
// the rest of the line, what follows the ':' with it.
void Checker::reportColon(std::string_view name) {
  if (derailed_ || thenLine_ != lineStart_ || thensOnLine_ == 0 || elseOnLine_) return;
  bool inLiteral = false;
  const char* const end = lineEnd(at());
  for (const char* c = at(); c + 4 <= end; ++c) {
    inLiteral = inLiteral != (*c == '"');
    if (!inLiteral && std::string_view(c, 4) == "else" && !isLetter(c[-1]) && !isLetter(c[4])) {
      report(at(), name,
             "with an ELSE later on the line, a true IF runs one statement after THEN and skips "
             "the rest: what follows this ':' never runs",
             "give each statement a line and an IF of its own");
      return;
    }
  }
}

// The current token as a message shows it.
std::string Checker::current() const {
  if (kind() == TokenKind::Newline) return "the line's end";
  if (kind() == TokenKind::EndOfText) return "the end of the text";
  return quote(at(), scan_.tokenEnd);
}

// The tokens a statement may end on: its line's end, and in a branch of an IF also an ELSE.
bool Checker::endsStatement() const {
  return kind() == TokenKind::Newline || kind() == TokenKind::EndOfText ||
         (inBranch_ && kind() == TokenKind::Else);
}

// The likely cause of a mistake at the current token, when it shows one: a construct of
// other BASICs that this one does not have.
std::string Checker::cause() const {
  const char first = *at();
  const bool afterLetter = at() != text_ && isLower(at()[-1]);
  const std::string letter = afterLetter ? std::string(1, at()[-1]) : "";
  if (kind() == TokenKind::LeftParen && afterLetter) {
    return "there are no arrays or functions: '" + letter + "(' is the variable '" + letter +
           "', then '('";
  }
  if (kind() == TokenKind::Invalid && first == '$') {
    return "there are no string variables" +
           (afterLetter ? ": '" + letter + "$' is the variable '" + letter + "', then '$'"
                        : std::string());
  }
  if (kind() == TokenKind::Invalid && first == ':') return "':' is no separator here";
  if (kind() == TokenKind::Invalid && first == '.' && isDigit(at()[1]))
    return "numbers are whole: there are no fractions";
  if (kind() == TokenKind::Invalid && first == '^') return "there is no power operator '^'";
  if (kind() == TokenKind::Invalid && (first == '\'' || first == '#'))
    return "there are no comments";
  // A word of other BASICs in capitals, such as 'MOD' where THEN belongs.
  if (kind() == TokenKind::Invalid) return std::string(upperWordHint(at()).cause);
  return {};
}

std::string Checker::withCause(const std::string& symptom) const {
  const std::string found = cause();
  return found.empty() ? symptom : found + "; " + symptom;
}

// What to write instead, when cause() names a construct of other BASICs.
std::string Checker::causeAdvice() const {
  const bool afterLetter = at() != text_ && isLower(at()[-1]);
  if (kind() == TokenKind::LeftParen && afterLetter) return std::string(kEachValue);
  if (kind() != TokenKind::Invalid) return {};
  if (*at() == '$') return std::string(kLiterals);
  if (*at() == '.') return "write a whole number";
  if (*at() == '^') return "multiply instead, as in 'x * x'";
  if (*at() == '#') return "remove the comment";
  if (const WordHint hint = upperWordHint(at()); !hint.cause.empty())
    return std::string(hint.advice);
  if (*at() == ':') return std::string(kOwnLines);
  return *at() == '\'' ? "remove the comment" : "";
}

// What the run does where the statement's `rule` finds another token.
std::string Checker::inPlaceOf(std::string_view rule) const {
  if (kind() == TokenKind::Newline) return std::string(rule) + ", but the line ends first";
  if (kind() == TokenKind::EndOfText) return std::string(rule) + ", but the text ends first";
  // With a cause, the rule is told by what it needs alone ("where '=' belongs").
  const std::string found = cause();
  const std::size_t needs = rule.find("needs '");
  if (!found.empty() && needs != std::string_view::npos) {
    const std::size_t from = needs + 6;
    const std::string_view needed = rule.substr(from, rule.find('\'', from + 1) + 1 - from);
    return found + ", and the run steps over " + current() + " where " + std::string(needed) +
           " belongs";
  }
  return withCause(std::string(rule) + ": the run steps over " + current() + " in its place");
}

}  // namespace check

std::vector<Diagnostic> checkProgram(std::string_view text) {
  const std::size_t nul = text.find('\0');
  const std::string terminated(text.substr(0, nul));
  std::vector<Diagnostic> diagnostics = check::Checker(terminated.c_str()).run();
  if constexpr (!check::kCompactChecker) {
    // What a trial of the run finds, on lines the check found nothing wrong with.
    std::vector<Diagnostic> stores = check::trialStores(terminated);
    std::erase_if(stores, [&](const Diagnostic& store) {
      return std::any_of(diagnostics.begin(), diagnostics.end(),
                         [&](const Diagnostic& d) { return d.line == store.line; });
    });
    for (Diagnostic& store : stores) {
      // After every warning of its line: the lines that have one are no trial's.
      const auto after = std::find_if(diagnostics.begin(), diagnostics.end(),
                                      [&](const Diagnostic& d) { return d.line > store.line; });
      diagnostics.insert(after, std::move(store));
    }
  }
  // A run reads no further than a NUL byte: what follows it is lost to every run.
  if (nul != std::string_view::npos &&
      text.find_first_not_of(std::string_view("\0\n", 2), nul) != std::string_view::npos) {
    const std::string_view before = text.substr(0, nul);
    const auto line = static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1;
    const std::size_t lineStart =
        before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
    diagnostics.push_back({line, static_cast<int>(nul - lineStart) + 1, check::name::kNulByte,
                           "a NUL byte ends the text for a run: nothing after it ever runs",
                           Fix{nul, 1, ""}});
  }
  return diagnostics;
}

std::string formatSummary(const std::vector<Diagnostic>& diagnostics) {
  if (diagnostics.empty()) return {};
  const std::size_t count = diagnostics.size();
  std::string summary =
      std::to_string(count) + (count == 1 ? " warning" : " warnings") + " generated.\n";
  if (count <= kSummaryByNameAbove) return summary;
  std::map<std::string_view, std::size_t> byName;
  for (const Diagnostic& diagnostic : diagnostics)
    ++byName[diagnostic.name];
  std::vector<std::pair<std::string_view, std::size_t>> names(byName.begin(), byName.end());
  std::stable_sort(names.begin(), names.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  const std::size_t width = std::to_string(names.front().second).size();
  for (const auto& [name, times] : names) {
    const std::string number = std::to_string(times);
    summary.append(2 + width - number.size(), ' ').append(number).append(" ");
    summary.append(name).append("\n");
  }
  return summary;
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

// The lines that a broken statement reads on into: the checker follows the run over its
// line's end and tells, in the warning that derailed the line, which lines the run swallows,
// as one range, and where it picks up again.
#include <algorithm>
#include <string>
#include <string_view>

#include "check/checker.h"
#include "scanner/scanner.h"

namespace linebasic::check {

// A statement that starts a line or follows a complete one. When it reads on over its line's
// end, the line's derailing warning says which lines it swallows.
void Checker::statementAtTop() {
  const int feeds = feedsStepped_;
  conditionReadOn_ = false;
  jumpReadOn_ = false;
  const bool startsStatement = (detail::kStatementKinds >> static_cast<int>(kind()) & 1) != 0;
  if (chain_.open && chain_.goesOnAt == nullptr && startsStatement && standsAsWritten()) {
    chain_.goesOnAt = at();
    chain_.goesOnEnd = scan_.tokenEnd;
  }
  const TokenKind first = kind();
  const char* const line = lineStart_;
  statement();
  if (startsStatement) {
    fallsInto_ = first != TokenKind::Goto && first != TokenKind::Return && first != TokenKind::End;
    walkedStatement_ = true;
  }
  if (feedsStepped_ != feeds && derailed_ && !jumpReadOn_) readOnInto(lineStart_, line);
}

namespace {

bool hasText(const char* lineStart) {
  const char* const first = skipBlanks(lineStart);
  return *first != '\n' && *first != '\0';
}

}  // namespace

// True when the statement at the current token is one as written: a keyword's, or one after
// a ':' or a LET; not a word read otherwise, such as the 'x' of 'if x < 3' once the run has
// stepped over the IF.
bool Checker::standsAsWritten() const {
  const char* before = at();
  while (before != lineStart_ && isBlank(before[-1]))
    --before;
  if (before == at() || before == lineStart_) return false;
  const bool afterLet = before - lineStart_ >= 3 && std::string_view(before - 3, 3) == "let" &&
                        (before - 3 == lineStart_ || !isLetter(before[-4]));
  // A variable right after the line's number starts an assignment as written.
  const char* ownLine = before;
  while (ownLine != text_ && ownLine[-1] != '\n')
    --ownLine;
  const char* const number = skipBlanks(ownLine);
  const bool afterNumber = isDigit(*number) && std::all_of(number, before, isDigit);
  return kind() != TokenKind::Variable || before[-1] == ':' || afterLet || afterNumber;
}

// The statement just walked, which started on the line at `statementLine`, has read on into
// the line that starts at `lineStart`.
void Checker::readOnInto(const char* lineStart, const char* statementLine) {
  const TextLine line{lineStart, textLine_};
  if (chain_.open) {
    if (chain_.watchElse) return;  // the IF's own line-feed is what counts
    if (hasText(lineStart)) {
      chain_.beforeLast = chain_.last;
      chain_.last = line;
      if (chain_.first.start == nullptr) chain_.first = line;
    }
    chain_.goesOnAt = nullptr;
    return;
  }
  if (derailFinding_ == kNone || chain_.finding == derailFinding_) return;  // told already
  const char* const first = skipBlanks(lineStart);
  const bool taken = lastTokenEnd(first, at()) > first;
  if (!conditionReadOn_ && !taken) return;  // nothing of that line was read: it runs as written
  chain_ = Chain{};
  chain_.finding = derailFinding_;
  chain_.open = true;
  // After a THEN on its line, the statement runs only as the IFs there decide.
  if (thenLine_ == statementLine && thensOnLine_ > 0) {
    chain_.when = elseOnLine_
                      ? (thensOnLine_ == 1 ? "when the IF fails, " : "depending on the IFs, ")
                  : thensOnLine_ == 1 ? "when the IF holds, "
                                      : "when the IFs hold, ";
  } else if (forLine_ == statementLine && forNext_ != nullptr) {
    // NEXT goes back to the line after the FOR: the swallowed lines run on later passes,
    // unless the NEXT is swallowed too (closeChain() sees).
    chain_.when = "on the loop's first pass, ";
    chain_.firstPass = true;
    chain_.loopNext = forNext_;
  }
  if (conditionReadOn_ && !hasText(lineStart)) {
    chain_.open = false;  // only the end of the text follows
  } else if (conditionReadOn_) {
    // A false condition skips to the IF's own ELSE; the walk tells whether that line has one.
    findings_[derailFinding_].chain = "the IF reads on into " + lineName(lineStart, textLine_);
    chain_.watchElse = true;
    chain_.ownElse = elseAt_ != nullptr && elseAt_ > lineStart;
    chain_.innerIfs = kind() == TokenKind::If ? 1 : 0;
    if (kind() == TokenKind::Newline || kind() == TokenKind::EndOfText) closeChain();
  } else if (hasText(lineStart)) {
    chain_.first = line;
    chain_.last = line;
  }
}

// Counts the IFs and ELSEs of a line that an IF read on into, as a false IF skips them.
void Checker::watchForElse() {
  if (chain_.ownElse) return;
  if (kind() == TokenKind::If) {
    ++chain_.innerIfs;
  } else if (kind() == TokenKind::Else) {
    if (chain_.innerIfs == 0) {
      chain_.ownElse = true;
    } else {
      --chain_.innerIfs;
    }
  }
}

// The first line after the line-feed at `feed` (at the end of text line `line`) that holds
// anything; none when only blank lines follow.
Checker::TextLine Checker::nextLineWithText(const char* feed, int line) const {
  while (*feed == '\n') {
    ++line;
    if (hasText(feed + 1)) return {feed + 1, line};
    feed = skipBlanks(feed + 1);
  }
  return {};
}

// "line 40, which never runs as written", "lines 40 to 60, which never run as written";
// `wholly` false leaves out the clause.
std::string Checker::swallowed(TextLine first, TextLine last, bool wholly) const {
  const bool one = first.start == last.start;
  std::string range = lineRange(first.start, first.line, last.start, last.line);
  if (!wholly) return range;
  return range + (one ? ", which never runs as written" : ", which never run as written");
}

// The walk has met the line-feed that ends the lines read into (or the end of the text): the
// run goes on at the next line, or at a statement as written in the middle of the last.
void Checker::closeChain() {
  chain_.open = false;
  std::string& told = findings_[chain_.finding].chain;
  if (chain_.watchElse) {
    chain_.watchElse = false;
    told += std::string(": when its condition is false, the run skips it") +
            (chain_.ownElse ? " up to its ELSE" : " too");
    return;
  }
  TextLine last = chain_.last;
  if (hasText(lineStart_) && lineStart_ > last.start) last = {lineStart_, textLine_};
  if (chain_.first.start == nullptr || last.start == nullptr) return;
  if (chain_.firstPass && chain_.loopNext < at()) {
    chain_.firstPass = false;  // the loop's NEXT is swallowed: there is no later pass
    chain_.when.clear();
  }
  if (chain_.goesOnAt != nullptr && chain_.goesOnAt >= last.start) {
    told = chain_.when + "the run swallows " + swallowed(chain_.first, last, false) + " up to " +
           quote(chain_.goesOnAt, chain_.goesOnEnd) + ", and picks up again there";
    return;
  }
  told = chain_.when + "the run swallows " + swallowed(chain_.first, last, !chain_.firstPass);
  if (!kCompactChecker && !chain_.when.empty())
    swallowedSometimes_.emplace_back(chain_.first.start, last.start);
  const TextLine next = nextLineWithText(at(), textLine_);
  if (next.start != nullptr) told += ", and picks up again at " + lineName(next.start, next.line);
}

// A statement as written begins the line at `lineStart`, whose number a statement read on
// into took.
void Checker::closeChainAt(const char* lineStart) {
  chain_.open = false;
  const TextLine last = chain_.last.start == lineStart ? chain_.beforeLast : chain_.last;
  if (chain_.firstPass && chain_.loopNext < at()) {
    chain_.firstPass = false;  // the loop's NEXT is swallowed: there is no later pass
    chain_.when.clear();
  }
  // Only the number of that line was taken: its statements run as written.
  std::string& told = findings_[chain_.finding].chain;
  told.clear();
  if (last.start != nullptr && chain_.first.start != nullptr && last.start >= chain_.first.start) {
    told = chain_.when + "the run swallows " + swallowed(chain_.first, last, !chain_.firstPass) +
           ", and picks up again at " + lineName(lineStart, textLine_);
    if (!kCompactChecker && !chain_.when.empty())
      swallowedSometimes_.emplace_back(chain_.first.start, last.start);
  }
}

// Lines that a statement reads on into only on some runs (when an IF holds, on a loop's first
// pass) run as written on the others: what is wrong within them is told as for any line.
void Checker::checkSwallowedSometimes() {
  if (kCompactChecker) return;
  for (const auto& [first, last] : swallowedSometimes_) {
    // With the line after them, which a line may take in as written too.
    const char* const end = *lineEnd(last) == '\n' ? lineEnd(lineEnd(last) + 1) : lineEnd(last);
    const std::string lines(first, end);
    std::vector<std::string> advice;
    std::vector<Diagnostic> found = Checker(lines.c_str()).run(&advice);
    std::vector<const char*> lineStarts = {first};
    for (const char* c = first; c < lineEnd(last); ++c) {
      if (*c == '\n') lineStarts.push_back(c + 1);
    }
    for (std::size_t i = 0; i < found.size(); ++i) {
      Diagnostic& diagnostic = found[i];
      // Only what the lines hold themselves: a text line counted within them would be wrong.
      if (static_cast<std::size_t>(diagnostic.line) > lineStarts.size() ||
          !isLocal(diagnostic.name) || diagnostic.message.find("text line") != std::string::npos)
        continue;
      const char* const at =
          lineStarts[static_cast<std::size_t>(diagnostic.line - 1)] + diagnostic.column - 1;
      const bool told = std::any_of(findings_.begin(), findings_.end(), [&](const Finding& f) {
        return f.at == at && f.name == diagnostic.name;
      });
      if (told) continue;
      if (diagnostic.fix) diagnostic.fix->offset += static_cast<std::size_t>(first - text_);
      findings_.push_back({at,
                           diagnostic.name,
                           std::move(diagnostic.message),
                           std::move(advice[i]),
                           {},
                           std::move(diagnostic.fix)});
    }
  }
}

}  // namespace linebasic::check

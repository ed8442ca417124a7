// Renumbering. A jump finds the first line whose number has its target's value, by the text
// itself: the top of the text is tested by converting what stands there, every other line by
// the Number token after a line-feed token. So renumbering rewrites those tokens and the
// targets of the jumps that may run, and refuses wherever a run would read anything else that
// changes with them. Every refusal found is kept; the one told is the first in the text.
#include "edit/renumber.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "edit/run_reads.h"
#include "scanner/scanner.h"

namespace linebasic {
namespace {

std::string number(std::int64_t n) {
  return std::to_string(n);
}

// A numbered line: one a jump can find by its number.
struct NumberedLine {
  std::size_t token;  // its number's token
  std::int32_t value;
  bool inRange;
  std::int32_t renumbered;  // its new number (its old one when it is not renumbered)
};

class Renumbering {
 public:
  Renumbering(std::string_view program, const RenumberRequest& request)
      : program_(program), request_(request), reads_(readRuns(program_.c_str())) {
    for (std::size_t at = 0; at < program_.size(); ++at) {
      if (program_[at] == '\n') lineStarts_.push_back(at + 1);
    }
  }

  Renumbered run() {
    if (!reads_.complete) refuse(0, "the runs of this program take too many turns to follow");
    findLineNumbers();
    checkDuplicates();
    checkJumps();
    assignNumbers();
    checkValueReads();
    Renumbered result;
    if (refusal_) {
      result.refusal = refusal_;
      return result;
    }
    for (const NumberedLine& line : lines_) {
      if (!line.inRange) continue;
      result.numbers[line.value] = line.renumbered;
      edit(line.token, line.renumbered);
    }
    for (const auto& [token, line] : targets_) {
      if (edit(token, lines_[line].renumbered)) ++result.targets;
    }
    result.text = applyEdits();
    return result;
  }

 private:
  struct Edit {
    std::size_t start;
    std::size_t end;
    std::string text;
  };

  // Where the text's start converts to the number a jump tests the first line by: the offset
  // of its first digit, past white space and one sign; npos when it holds none.
  [[nodiscard]] std::size_t firstLineDigits(bool& signed_) const {
    std::size_t at = 0;
    while (at < program_.size() && isConversionSpace(program_[at]))
      ++at;
    signed_ = at < program_.size() && (program_[at] == '-' || program_[at] == '+');
    if (signed_) ++at;
    return at < program_.size() && isDigit(program_[at]) ? at : std::string::npos;
  }

  // The numbered lines in text order, and a refusal for each text line that starts with digits
  // no jump finds it by: inside a literal, five digits or more, or part of another token.
  void findLineNumbers() {
    bool signed_ = false;
    const std::size_t firstDigits = firstLineDigits(signed_);
    firstValue_ = decimalValue(program_.c_str());
    for (std::size_t token = 0; token < reads_.tokens.size(); ++token) {
      const TextToken& at = reads_.tokens[token];
      if (at.kind != TokenKind::Number) continue;
      const bool first = at.start == firstDigits && !signed_;
      if (!first && !reads_.startsLine(token)) continue;
      if (first) firstLine_ = lines_.size();
      const std::int32_t value = decimalValue(program_.c_str() + at.start);
      lines_.push_back({token, value, request_.first <= value && value <= request_.last, value});
    }
    if (firstDigits != std::string::npos && firstLine_ == kNoToken) {
      refuse(firstDigits, "the run reads " + number(firstValue_) +
                              " at the top of the text as its first line's number, but no "
                              "statement reads it so: renumbering cannot keep that; start the "
                              "text with the line's number");
    }
    for (const std::size_t lineStart : lineStarts_)
      checkLineStart(lineStart);
  }

  void checkLineStart(std::size_t lineStart) {
    std::size_t at = lineStart;
    while (at < program_.size() && isBlank(program_[at]))
      ++at;
    if (at == program_.size() || !isDigit(program_[at])) return;
    const auto before = [&](const NumberedLine& line, std::size_t offset) {
      return reads_.tokens[line.token].start < offset;
    };
    const auto line = std::lower_bound(lines_.begin(), lines_.end(), at, before);
    if (line != lines_.end() && reads_.tokens[line->token].start == at) return;
    const TextToken& token = tokenHolding(at);
    std::size_t digitsEnd = at;
    while (digitsEnd < program_.size() && isDigit(program_[digitsEnd]))
      ++digitsEnd;
    const std::string digits = "'" + program_.substr(at, digitsEnd - at) + "'";
    if (token.kind == TokenKind::String) {
      refuse(at, digits + " stands inside the literal that opens on text line " +
                     number(textLine(token.start)) +
                     ": the run prints it, and no jump finds this line by it; close the "
                     "literal on its own line");
    } else if (digitsEnd - at >= kNumberScanLimit) {
      refuse(at, digits +
                     " has five digits or more: the run reads it as no number, and no jump "
                     "finds this line by it; write at most four digits");
    } else {
      refuse(at, "the run reads " + digits +
                     " as part of another token, and no jump finds this line by it; start "
                     "the line with its number");
    }
  }

  // The token whose text holds the byte at `at`.
  [[nodiscard]] const TextToken& tokenHolding(std::size_t at) const {
    const auto after =
        std::upper_bound(reads_.tokens.begin(), reads_.tokens.end(), at,
                         [](std::size_t offset, const TextToken& t) { return offset < t.start; });
    return after == reads_.tokens.begin() ? *after : *(after - 1);
  }

  // Also notes the first line of each number, and of each number outside the range.
  void checkDuplicates() {
    firstWith_.assign(kLineNumberMax + 1, kNoToken);
    outsideWith_.assign(kLineNumberMax + 1, kNoToken);
    for (std::size_t at = 0; at < lines_.size(); ++at) {
      const NumberedLine& line = lines_[at];
      const auto value = static_cast<std::size_t>(line.value);
      if (!line.inRange && outsideWith_[value] == kNoToken) outsideWith_[value] = at;
      if (firstWith_[value] == kNoToken) {
        firstWith_[value] = at;
        continue;
      }
      const NumberedLine& first = lines_[firstWith_[value]];
      if (!first.inRange && !line.inRange) continue;
      refuse(reads_.tokens[line.token].start,
             "line number " + number(line.value) + " is used already on text line " +
                 number(textLine(reads_.tokens[first.token].start)) +
                 ": jumps reach only that one, and renumbering would tell the two apart; "
                 "give each line a number of its own");
    }
  }

  // The numbered line a jump to n goes to: the first line, when the top of the text converts
  // to n; otherwise the first line numbered n. kNoToken: none; kTop: the top of the text, which
  // has no number.
  static constexpr std::size_t kTop = kNoToken - 1;
  [[nodiscard]] std::size_t lineFor(std::int32_t n) const {
    if (n == firstValue_) return firstLine_ == kNoToken ? kTop : firstLine_;
    return 0 <= n && n <= kLineNumberMax ? firstWith_[static_cast<std::size_t>(n)] : kNoToken;
  }

  void checkJumps() {
    for (const JumpRead& jump : reads_.jumps) {
      const TextToken& keyword = reads_.tokens[jump.keyword];
      const std::string name = keyword.kind == TokenKind::Goto ? "GOTO" : "GOSUB";
      const TextToken& target = reads_.tokens[jump.target];
      const std::int32_t n = decimalValue(program_.c_str() + target.start);
      if (!isPlainTarget(jump.target)) {
        refuse(target.start, name + " needs one line number, not " + targetText(jump.target) +
                                 ": the run reads " + number(n) +
                                 " from the text there, which renumbering cannot follow; "
                                 "write the number of the line meant");
        continue;
      }
      const std::size_t line = lineFor(n);
      if (line == kNoToken) {
        refuse(target.start, "no line is numbered " + number(n) + ": the run ends at this " + name +
                                 ", and renumbering would keep a number no line has or give it "
                                 "to a line; write the number of a line that is there");
      } else if (line == kTop) {
        refuse(target.start, "the run finds " + number(n) +
                                 " at the top of the text, whose line has no number: "
                                 "renumbering cannot name that line; number it, and jump to "
                                 "that number");
      } else if (lines_[line].inRange) {
        targets_.emplace_back(jump.target, line);
      }
    }
  }

  // One Number of one to four digits without a leading zero, and nothing after it on its
  // statement: the line's end, the text's end or an ELSE.
  [[nodiscard]] bool isPlainTarget(std::size_t target) const {
    const TextToken& at = reads_.tokens[target];
    if (at.kind != TokenKind::Number) return false;
    if (program_[at.start] == '0' && at.end - at.start > 1) return false;
    const TokenKind next = reads_.tokens[target + 1].kind;
    return next == TokenKind::Newline || next == TokenKind::EndOfText || next == TokenKind::Else;
  }

  // What stands where a jump's target belongs, up to its line's end, as a message quotes it.
  [[nodiscard]] std::string targetText(std::size_t target) const {
    const TextToken& at = reads_.tokens[target];
    if (at.kind == TokenKind::Newline || at.kind == TokenKind::EndOfText) return "the line's end";
    std::size_t end = target;
    while (reads_.tokens[end].kind != TokenKind::Newline &&
           reads_.tokens[end].kind != TokenKind::EndOfText &&
           reads_.tokens[end].kind != TokenKind::Else)
      ++end;
    std::size_t last = reads_.tokens[end - 1].end;
    constexpr std::size_t kQuotedMax = 24;
    std::string text = program_.substr(at.start, std::min(last - at.start, kQuotedMax));
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return "'" + text + (last - at.start > kQuotedMax ? "...'" : "'");
  }

  // New numbers in text order; none may pass four digits, take the number of a line outside
  // the range, or stand out of order against such a line next to it.
  void assignNumbers() {
    std::int64_t next = request_.start;
    for (NumberedLine& line : lines_) {
      if (!line.inRange) continue;
      if (next > kLineNumberMax) {
        refuse(reads_.tokens[line.token].start,
               "renumbering from " + number(request_.start) + " by " + number(request_.step) +
                   " gives line " + number(line.value) + " the number " + number(next) +
                   ", and the run reads line numbers of four digits at most; choose a smaller "
                   "start or step, or a range");
        return;
      }
      line.renumbered = static_cast<std::int32_t>(next);
      next += request_.step;
    }
    for (std::size_t at = 0; at < lines_.size(); ++at) {
      if (lines_[at].inRange) checkPlace(at);
    }
  }

  void checkPlace(std::size_t at) {
    const NumberedLine& line = lines_[at];
    const std::size_t start = reads_.tokens[line.token].start;
    if (const std::size_t outside = outsideWith_[static_cast<std::size_t>(line.renumbered)];
        outside != kNoToken) {
      const NumberedLine& other = lines_[outside];
      refuse(start, "line " + number(line.value) + " would be numbered " + number(line.renumbered) +
                        ", which line " + number(other.value) +
                        " outside the range has (text line " +
                        number(textLine(reads_.tokens[other.token].start)) +
                        "): jumps would reach only one of them; choose another start, step or "
                        "range");
      return;
    }
    if (firstLine_ == kNoToken && line.renumbered == firstValue_) {
      refuse(start, "line " + number(line.value) + " would be numbered " + number(line.renumbered) +
                        ", which a jump finds at the top of the text; "
                        "choose another start");
      return;
    }
    const bool afterOutside =
        at > 0 && !lines_[at - 1].inRange && lines_[at - 1].value >= line.renumbered;
    const bool beforeOutside = at + 1 < lines_.size() && !lines_[at + 1].inRange &&
                               lines_[at + 1].value <= line.renumbered;
    if (afterOutside || beforeOutside) {
      const NumberedLine& other = lines_[afterOutside ? at - 1 : at + 1];
      refuse(start, "line " + number(line.value) + " would be numbered " + number(line.renumbered) +
                        (afterOutside ? ", below line " : ", above line ") + number(other.value) +
                        " outside the range: numbers would no longer rise down the text; choose "
                        "another start, step or range");
    }
  }

  // A statement that reads on over its line's end may read the next line's number as a value.
  void checkValueReads() {
    for (const NumberedLine& line : lines_) {
      const std::size_t reader = reads_.valueReadBy[line.token];
      if (!line.inRange || line.renumbered == line.value || reader == kNoToken) continue;
      refuse(reads_.tokens[reader].start,
             "this statement reads on over its line's end and takes " + number(line.value) +
                 ", the number of text line " + number(textLine(reads_.tokens[line.token].start)) +
                 ", as a value: renumbering would change what it reads; end the statement on "
                 "its own line");
    }
    for (const auto& [token, line] : targets_) {
      const std::size_t reader = reads_.valueReadBy[token];
      if (reader == kNoToken) continue;
      refuse(reads_.tokens[token].start,
             "the run also reads this jump target as a value: renumbering would change it; "
             "keep the jump on a statement of its own");
    }
  }

  // Writes `renumbered` over the token; false when the text stays as it was.
  bool edit(std::size_t token, std::int32_t renumbered) {
    const TextToken& at = reads_.tokens[token];
    std::string text = number(renumbered);
    if (program_.compare(at.start, at.end - at.start, text) == 0) return false;
    const bool twice = std::any_of(edits_.begin(), edits_.end(),
                                   [&](const Edit& edit) { return edit.start == at.start; });
    if (!twice) edits_.push_back({at.start, at.end, std::move(text)});
    return !twice;
  }

  std::string applyEdits() {
    std::sort(edits_.begin(), edits_.end(),
              [](const Edit& a, const Edit& b) { return a.start < b.start; });
    std::string text;
    std::size_t from = 0;
    for (const Edit& edit : edits_) {
      text.append(program_, from, edit.start - from);
      text += edit.text;
      from = edit.end;
    }
    text.append(program_, from);
    return text;
  }

  [[nodiscard]] int textLine(std::size_t offset) const {
    return static_cast<int>(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) -
                            lineStarts_.begin()) +
           1;
  }

  // Keeps the refusal at `offset` when it comes before any other.
  void refuse(std::size_t offset, std::string message) {
    if (refusal_ && offset >= refusalOffset_) return;
    const int line = textLine(offset);
    const std::size_t lineStart = line == 1 ? 0 : lineStarts_[static_cast<std::size_t>(line - 2)];
    refusal_ = Refusal{line, static_cast<int>(offset - lineStart) + 1, std::move(message)};
    refusalOffset_ = offset;
  }

  std::string program_;
  RenumberRequest request_;
  RunReads reads_;
  std::vector<std::size_t> lineStarts_;  // of text lines 2 on
  std::vector<NumberedLine> lines_;
  std::vector<std::size_t> firstWith_;    // by number: the first line that has it
  std::vector<std::size_t> outsideWith_;  // by number: the first line outside the range with it
  std::size_t firstLine_ = kNoToken;      // the line a jump finds at the top of the text
  std::int32_t firstValue_ = 0;           // the number the top of the text converts to
  std::vector<std::pair<std::size_t, std::size_t>> targets_;  // target token, line it names
  std::vector<Edit> edits_;
  std::optional<Refusal> refusal_;
  std::size_t refusalOffset_ = 0;
};

}  // namespace

Renumbered renumber(std::string_view text, const RenumberRequest& request) {
  if (const std::size_t nul = text.find('\0'); nul != std::string_view::npos) {
    // No run reads past it, and the lines after it would keep their numbers and targets.
    const std::string_view before = text.substr(0, nul);
    Renumbered refused;
    refused.refusal = Refusal{static_cast<int>(std::count(before.begin(), before.end(), '\n')) + 1,
                              static_cast<int>(nul - (before.rfind('\n') + 1)) + 1,
                              "a NUL byte ends the text for a run here: remove it first"};
    return refused;
  }
  const auto isLineNumber = [](std::int32_t n) { return 0 <= n && n <= kLineNumberMax; };
  if (!isLineNumber(request.start) || !isLineNumber(request.first) || !isLineNumber(request.last) ||
      request.step < 1) {
    Renumbered refused;
    refused.refusal =
        Refusal{0, 0,
                "line numbers run from 0 to " + number(kLineNumberMax) +
                    ", and a step is 1 at least: renumber from " + number(request.start) + " by " +
                    number(request.step) + " over " + number(request.first) + " to " +
                    number(request.last) + " asks for another"};
    return refused;
  }
  const std::size_t nul = std::min(text.find('\0'), text.size());
  Renumbered renumbered = Renumbering(text.substr(0, nul), request).run();
  if (renumbered.ok()) renumbered.text.append(text.substr(nul));
  return renumbered;
}

}  // namespace linebasic

// The session's edits of the whole program: renumbering and the checker's fixes. Each is a
// change like any typed line (it ends a stopped run and is unsaved), and breakpoints follow
// their lines.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "edit/fix.h"
#include "edit/fix_text.h"
#include "edit/renumber.h"
#include "session/session.h"
#include "session/session_text.h"

namespace linebasic {
namespace {

// The lines of a program text by number; nothing when a line starts with no number or the
// numbers do not rise, which the session cannot keep.
std::optional<std::map<int, std::string>> linesOf(std::string_view text) {
  std::map<int, std::string> lines;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    const std::optional<NumberedLine> numbered = splitNumber(line);
    if (line.empty() || !isDigit(line.front()) || !numbered ||
        (!lines.empty() && numbered->number <= lines.rbegin()->first)) {
      return {};
    }
    lines.emplace(numbered->number, numbered->rest);
  }
  return lines;
}

// A count of 1 to 9999 typed as a command's argument.
std::optional<int> countOrNumber(std::string_view word) {
  const std::optional<int> n = lineNumber(word);
  return n && *n >= 1 ? n : std::nullopt;
}

}  // namespace

// renum [START [STEP]]: new numbers from START by STEP (10 and 10), and the jumps to them.
void Session::renum(std::string_view argument) {
  const std::string_view words = trimmed(argument);
  const std::size_t blank = words.find_first_of(" \t");
  const std::string_view first = words.substr(0, blank);
  const std::string_view second =
      blank == std::string_view::npos ? std::string_view() : trimmed(words.substr(blank));
  const std::optional<int> start = first.empty() ? 10 : countOrNumber(first);
  const std::optional<int> step = second.empty() ? 10 : countOrNumber(second);
  if (!start || !step || second.find_first_of(" \t") != std::string_view::npos)
    return complain("renum: type 'renum', 'renum START' or 'renum START STEP' (1 to 9999)\n");
  if (lines_.empty()) return say("the program is empty\n");
  const std::string text = programText();
  const Renumbered result = renumber(text, {*start, *step, 0, kLineNumberMax});
  if (const auto& refusal = result.refusal) {
    return complain(
        "renum: " + std::to_string(numberOfLine(static_cast<std::size_t>(refusal->textLine))) +
        ":" + std::to_string(refusal->column) + ": " + refusal->message +
        "; nothing was renumbered\n");
  }
  if (result.text == text) return say("the lines are numbered so already\n");
  endStoppedRun();
  const auto moved = [&](const std::set<int>& numbers) {
    std::set<int> renumbered;
    for (const int number : numbers)
      renumbered.insert(result.numbers.at(number));
    return renumbered;
  };
  breakpoints_ = moved(breakpoints_);
  unreachable_ = moved(unreachable_);
  std::map<int, std::string> conditions;  // a breakpoint's condition goes with it
  for (auto& [number, condition] : conditions_)
    conditions[result.numbers.at(number)] = std::move(condition);
  conditions_ = std::move(conditions);
  lines_ = *linesOf(result.text);
  changed_ = true;
  std::size_t lines = 0;
  for (const auto& [old, renumbered] : result.numbers)
    lines += old != renumbered ? 1 : 0;
  say("renumbered " + countOf(lines, "line") + ", " +
      countOf(static_cast<std::size_t>(result.targets), "jump target") + "\n");
}

// fix: the fix of every warning that has one, each shown by its line and what it wrote.
void Session::fix(std::string_view /*argument*/) {
  if (lines_.empty()) return say("the program is empty\n");
  const Fixed fixed = applyFixes(programText());
  if (fixed.applied.empty()) return say("no warning has a fix\n");
  const auto lines = linesOf(fixed.text);
  const auto sameNumbers = [&] {
    return std::equal(lines->begin(), lines->end(), lines_.begin(), lines_.end(),
                      [](const auto& a, const auto& b) { return a.first == b.first; });
  };
  if (!lines || !sameNumbers())
    return complain("fix: the fixes would change the lines' numbers; nothing was fixed\n");
  endStoppedRun();
  for (const Diagnostic& diagnostic : fixed.applied) {
    say(std::to_string(numberOfLine(static_cast<std::size_t>(diagnostic.line))) + ":" +
        std::to_string(diagnostic.column) + ": " + describeFix(*diagnostic.fix) + " [" +
        std::string(diagnostic.name) + "]\n");
  }
  lines_ = *lines;
  changed_ = true;
  noteUnreachableBreakpoints();
  say("fixed " + countOf(fixed.applied.size(), "warning") + "\n");
}

}  // namespace linebasic

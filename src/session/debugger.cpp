// The session's debugger words: runs, the runs that wait, breakpoints, steps, stops, the trace.
#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "check/checker.h"
#include "check/lines.h"
#include "debug/run_control.h"
#include "interpreter/interpreter.h"
#include "scanner/scanner.h"
#include "session/session.h"
#include "session/session_text.h"

namespace linebasic {
namespace {

// Why no run reaches a line that a literal running on from a line above holds.
constexpr char kInsideLiteral[] =
    ": it is inside a literal that runs on from a line above (type 'check')\n";

// True when the text's last token is a literal without its closing quote: it runs to the end.
bool endsInsideLiteral(const std::string& text) {
  Interpreter scan;
  scan.load(text.c_str());
  bool open = false;
  for (; scan.token != TokenKind::EndOfText; scan.advance())
    open =
        scan.token == TokenKind::String && !check::isClosedLiteral(scan.tokenStart, scan.tokenEnd);
  return open;
}

// True when a run can stop at line `number` of `text`: no literal above runs on over it.
bool runsReach(int number, const std::string& text) {
  Interpreter probe;
  probe.load(text.c_str());
  probe.jumpToLine(number);
  return !probe.isDone();
}

}  // namespace

// A line runs after the program's text, so that its jumps reach the program's lines; once in
// the program, the run ends where the program's text ends (where it reaches the line again).
// A literal the program leaves open is closed first, as the end of its text would close it.
// The run stops at breakpoints, and can go on, as any run. A run stopped before waits beside
// the line, sharing its variables, and stands where it stood once the line's run is done.
void Session::runAfterProgram(std::string_view line) {
  std::string text = programText();
  if (endsInsideLiteral(text)) text += "\"\n";
  const std::size_t start = text.size();
  const auto ownLine = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  text += line;
  if (stopped_) waiting_.push_back({control_.keep(), std::move(runText_)});
  setRun(std::move(text), ownLine);
  while (!interpreter_.isDone() && interpreter_.tokenStart < runText_->c_str() + start)
    interpreter_.advance();
  control_.takePosition();
  // Coming back to a run stopped before is told after a jump into the program, not after
  // `print x`.
  const bool jumps =
      line.find("goto") != std::string_view::npos || line.find("gosub") != std::string_view::npos;
  const bool aside = !waiting_.empty();
  goOn(false, jumps);
  // An immediate line run with no run stopped took the control's past: the ended run it
  // followed can no longer go back.
  if (!aside && !stopped_) ranOnText_ = false;
}

// The run that waited beside the one that ended stands again where it stood.
void Session::resumeWaitingRun(bool announce) {
  runText_ = std::move(waiting_.back().text);
  control_.putBack(runText_->c_str(), std::move(waiting_.back().run));
  placeBreakpoints({});
  waiting_.pop_back();
  control_.takePosition();
  stopped_ = true;
  if (const std::optional<int> line = stoppedAt(); announce && line) {
    breakOutputLine();
    say("back to the run stopped at line " + std::to_string(*line) + "\n");
  }
}

// run [N]: from the first line, or from line N as `goto N` would, with every variable 0.
void Session::run(std::string_view argument) {
  const std::optional<int> from = lineNumber(argument);
  if (!argument.empty() && !from) {
    complain("run: type 'run', or 'run N' to start at line N\n");
  } else if (lines_.empty()) {
    complain("there is no program yet: type numbered lines, such as 10 print \"hello\"\n");
  } else if (from && lines_.count(*from) == 0) {
    complain(noLines({*from, *from}));
  } else {
    startRun(from);
    if (from && interpreter_.isDone()) {
      stopped_ = false;
      return complain("run: no jump finds line " + std::to_string(*from) + kInsideLiteral);
    }
    goOn(false);
  }
}

// A new run at the program's first line, or at line `from` as `goto` finds it, with every
// variable 0 and the breakpoints on their lines.
void Session::startRun(std::optional<int> from) {
  interpreter_.variables.fill(0);
  waiting_.clear();
  setRun(programText(), {});
  if (from) interpreter_.jumpToLine(*from);
}

// Sets `text`, the program's lines and maybe more, as the run's, at its top; the run stops at
// the breakpoints' lines and at text line `leftAt`, where it leaves the program.
void Session::setRun(std::string text, std::optional<int> leftAt) {
  runText_ = std::make_unique<const std::string>(std::move(text));
  control_.start(runText_->c_str());
  placeBreakpoints(leftAt);
  stopped_ = true;
  ranOnText_ = true;
}

void Session::placeBreakpoints(std::optional<int> leftAt) {
  control_.clearBreakpoints();
  for (const auto& [line, condition] : control_.conditions())
    control_.setCondition(line, "");
  for (const int number : breakpoints_) {
    control_.setBreakpoint(textLine(number));
    if (const auto condition = conditions_.find(number); condition != conditions_.end())
      control_.setCondition(textLine(number), condition->second);
  }
  if (leftAt) control_.setBreakpoint(*leftAt);
  for (const char name : watches_)
    control_.watch(name);
}

// The run goes on until it ends, reaches a breakpoint, has run maxSteps statements or is
// interrupted; stepping, until it reaches its next line. A step shows the line before it
// runs, and after it the variables it changed.
void Session::goOn(bool stepping, bool announceReturn) {
  runAndReport(stepping);
  if (!stopped_ && !waiting_.empty()) resumeWaitingRun(announceReturn);
}

void Session::runAndReport(bool stepping) {
  const std::uint64_t before = control_.statements();
  const std::uint64_t bound = settings_.maxSteps.value_or(RunControl::kNoBound);
  if (const std::optional<int> line = stoppedAt(); stepping && line) say(shownLine(*line) + "\n");
  const char* lastStatement = nullptr;
  stepping_ = stepping;
  StopReason reason = runOn(stepping, bound, lastStatement);
  stepping_ = false;
  stopped_ = reason != StopReason::Ended;
  const std::optional<int> line = stoppedAt();
  if (stopped_ && !line) {
    stopped_ = false;  // at a line after the program's: the run has left the program
    reason = StopReason::Ended;
  }
  const std::string ending = reason == StopReason::Ended ? missedJump(lastStatement) : "";
  const std::string where = line ? " at line " + std::to_string(*line) : "";
  if (reason == StopReason::StepBound) {
    breakOutputLine();
    return complain("stopped after " +
                    countOf(static_cast<std::size_t>(control_.statements() - before), "statement") +
                    where + " (--max-steps)\n");
  }
  if (reason == StopReason::Interrupted) return sayStopped("stopped" + where);
  if (!ending.empty() && !stepping) {
    breakOutputLine();
    say("the run ended" + ending + "\n");
  }
  if (reason == StopReason::Ended && !stepping) return endRun();
  if (stepping) {
    breakOutputLine();
    std::string changes;
    for (const VariableChange& change : control_.changes())
      changes += std::string(changes.empty() ? "" : "  ") + change.name + " = " +
                 std::to_string(change.after);
    if (!changes.empty()) say(changes + "\n");
    if (reason == StopReason::Ended) say("the run has ended" + ending + "\n");
    // Over and out may stop far from where they started: they say where.
    if (stepBy_ != StepBy::Line && reason == StopReason::Breakpoint && line) {
      say("break at " + shownLine(*line) + "\n");
    } else if (reason == StopReason::Watched) {
      sayWatchHit(line);
    } else if (stepBy_ != StepBy::Line && reason == StopReason::Stepped && line) {
      say("now before " + shownLine(*line) + "\n");
    }
  } else if (reason == StopReason::Breakpoint && line) {
    breakOutputLine();
    say("break at " + shownLine(*line) + "\n");
  } else if (reason == StopReason::Watched) {
    breakOutputLine();
    sayWatchHit(line);
  }
}

// Runs on for at most `bound` statements, in slices, so that when the run ends, not at END,
// finding the statement that ended it (`last`) runs no more than a slice again.
StopReason Session::runOn(bool stepping, std::uint64_t bound, const char*& last) {
  constexpr std::uint64_t kSlice = std::uint64_t{1} << 20;
  const std::uint64_t start = control_.statements();
  StopReason reason = StopReason::StepBound;
  while (reason == StopReason::StepBound && control_.statements() - start < bound) {
    const std::uint64_t slice = std::min(kSlice, bound - (control_.statements() - start));
    if (stepping && stepBy_ != StepBy::Line) {  // by depth: not in slices, which would restart it
      return stepBy_ == StepBy::Over ? control_.over(bound) : control_.out(bound);
    }
    reason = stepping ? control_.step(slice) : control_.resume(slice);
  }
  if (reason == StopReason::Ended && interpreter_.endReached == 0)
    last = control_.endingStatement();
  return reason;
}

// When a run ended, not at END, after a statement on a line with a jump to a line that is not
// there: " at line 20: no line is numbered 75", as the checker puts it; otherwise empty. The
// run's text starts with the program's, which no edit has changed since: a run stops then.
std::string Session::missedJump(const char* last) const {
  if (last == nullptr) return {};
  const auto textLine = static_cast<std::size_t>(std::count(runText_->c_str(), last, '\n')) + 1;
  if (textLine > lines_.size()) return {};
  const std::string program = programText();
  const std::string missed =
      linebasic::missedJump(program.c_str(), program.c_str() + (last - runText_->c_str()));
  if (missed.empty()) return {};
  return " at line " + std::to_string(numberOfLine(textLine)) + ": " + missed;
}

// Editing the program ends a stopped run: it could not go on in a text that changed.
void Session::endStoppedRun() {
  waiting_.clear();
  ranOnText_ = false;
  if (!stopped_) return;
  const std::optional<int> line = stoppedAt();
  stopped_ = false;
  say("the run stopped" + (line ? " at line " + std::to_string(*line) : std::string()) +
      " is over, since the program changed\n");
}

// The number of the line a stopped run stands on, read from the run's own text: the program
// may have changed since the run started.
std::optional<int> Session::stoppedAt() const {
  if (!stopped_) return {};
  const std::optional<int> line = control_.line();
  if (!line || *line < 1) return {};
  std::string_view text = *runText_;
  for (int i = 1; i < *line; ++i)
    text.remove_prefix(std::min(text.size(), text.find('\n') + 1));
  const std::optional<NumberedLine> numbered = splitNumber(text);
  if (!numbered || numbered->rest.size() == text.size()) return {};
  return numbered->number;
}

// Line `number` as a trace and a step show it: "[30] x=x+i".
std::string Session::shownLine(int number) const {
  const auto line = lines_.find(number);
  return "[" + std::to_string(number) + "]" + (line == lines_.end() ? "" : line->second);
}

// The number of the program's text line `line`, counted from 1.
int Session::numberOfLine(std::size_t line) const {
  return std::next(lines_.begin(), static_cast<std::ptrdiff_t>(line) - 1)->first;
}

// The line of the program's text that holds line `number`, counted from 1.
int Session::textLine(int number) const {
  return static_cast<int>(std::distance(lines_.begin(), lines_.find(number))) + 1;
}

// step: one line of the stopped run, or the first of a new one.
void Session::step(std::string_view /*argument*/) {
  if (!stopped_) {
    if (lines_.empty())
      return complain("there is no program yet: type numbered lines, such as 10 print \"hello\"\n");
    say("a new run starts, with every variable 0\n");
    startRun({});
  }
  goOn(true);
}

// cont: the stopped run goes on, as after a breakpoint, a step or Ctrl-C.
void Session::cont(std::string_view /*argument*/) {
  if (!stopped_) return complain("no run is stopped: type 'run', or 'step' to run one line\n");
  goOn(false);
}

// back [N]: the run goes back N lines (1), from where it stopped or from its end; what it had
// printed since stays on the screen and prints again as it goes forward.
void Session::back(std::string_view argument) {
  std::uint64_t lines = 1;
  if (!argument.empty()) {
    const auto [end, error] =
        std::from_chars(argument.data(), argument.data() + argument.size(), lines);
    if (error != std::errc() || end != argument.data() + argument.size() || lines == 0)
      return complain("back: type 'back', or 'back N' to go back N lines\n");
  }
  if (!stopped_ && !ranOnText_) {
    return complain("no run to go back in: type 'run', or 'step' to run one line\n");
  }
  if (control_.statements() == 0) return complain("the run stands at its start already\n");
  const std::uint64_t printedBefore = control_.printedLines();
  const std::uint64_t undone = control_.back(lines);
  sayWhereBack(printedBefore, undone == lines ? "back " + countOf(undone, "line")
                                              : "back at the start of the run");
}

// rcont: the run goes back to the last time it reached a breakpoint, or to its start.
void Session::rcont(std::string_view /*argument*/) {
  if (!stopped_ && !ranOnText_) {
    return complain("no run to go back in: type 'run', or 'step' to run one line\n");
  }
  const std::uint64_t printedBefore = control_.printedLines();
  const StopReason reason = control_.backToStop();
  sayWhereBack(printedBefore, reason == StopReason::Breakpoint ? "back at a breakpoint"
                              : reason == StopReason::Watched  ? "back at a watch"
                                                               : "back at the start of the run");
  if (reason == StopReason::Watched) sayWatchHit({});
}

// "watch: x went from 3 to 6 at line 30", and where the run stands.
void Session::sayWatchHit(std::optional<int> standing) {
  const std::optional<WatchHit>& hit = control_.watchHit();
  if (!hit) return;
  const int changedAt = hit->line >= 1 && hit->line <= static_cast<int>(lines_.size())
                            ? numberOfLine(static_cast<std::size_t>(hit->line))
                            : -1;
  say("watch: " + std::string(1, hit->name) + " went from " + std::to_string(hit->before) + " to " +
      std::to_string(hit->after) +
      (changedAt >= 0 ? " at line " + std::to_string(changedAt) : std::string()) +
      (standing ? "; the run stands before " + shownLine(*standing) : std::string()) + "\n");
}

// over: runs the stopped run's line, a GOSUB on it whole; out: runs until the current
// subroutine has returned.
void Session::over(std::string_view /*argument*/) {
  if (!stopped_) return complain("no run is stopped: type 'step' to start one a line at a time\n");
  stepBy_ = StepBy::Over;
  goOn(true);
  stepBy_ = StepBy::Line;
}

void Session::out(std::string_view /*argument*/) {
  if (!stopped_) return complain("no run is stopped: type 'step' to start one a line at a time\n");
  if (interpreter_.gosubDepth == 0) {
    say("no subroutine is running: the run goes on as with 'cont'\n");
    return goOn(false);
  }
  stepBy_ = StepBy::Out;
  goOn(true);
  stepBy_ = StepBy::Line;
}

// stack: the active GOSUBs and FOR loops, innermost first.
void Session::stack(std::string_view /*argument*/) {
  if (!stopped_) return complain("no run is stopped: the stack is a stopped run's\n");
  const std::vector<Frame> frames = control_.stack();
  if (frames.empty()) return say("no GOSUB or FOR is active\n");
  for (const Frame& frame : frames) {
    const bool known = frame.line >= 1 && frame.line <= static_cast<int>(lines_.size());
    const std::string line =
        known ? "line " + std::to_string(numberOfLine(static_cast<std::size_t>(frame.line)))
              : "the immediate line";
    say(frame.isGosub ? "gosub: returns to " + line + "\n"
                      : "for " + std::string(1, frame.variable) + " to " +
                            std::to_string(frame.limit) + ": goes back to " + line + "\n");
  }
}

// watch x: a run stops after a statement that changed x, going forward or back; watch alone
// lists the watches. unwatch [x] takes one away, or all.
void Session::watch(std::string_view argument) {
  if (argument.empty()) {
    if (watches_.empty()) return say("no watches: type 'watch x' to stop when x changes\n");
    std::string shown;
    for (const char name : watches_)
      shown += std::string(shown.empty() ? "" : ", ") + name;
    return say("watching " + shown + "\n");
  }
  if (argument.size() != 1 || !isLower(argument[0]))
    return complain("watch: type 'watch x' for a variable a to z\n");
  watches_.insert(argument[0]);
  control_.watch(argument[0]);
  say("a run stops when " + std::string(argument) + " changes\n");
}

void Session::unwatch(std::string_view argument) {
  if (argument.empty()) {
    for (const char name : watches_)
      control_.unwatch(name);
    say(watches_.empty() ? "there were no watches\n" : "cleared every watch\n");
    watches_.clear();
    return;
  }
  if (argument.size() != 1 || watches_.erase(argument[0]) == 0)
    return complain("unwatch: " + std::string(argument) + " is not watched\n");
  control_.unwatch(argument[0]);
  say("a run no longer stops when " + std::string(argument) + " changes\n");
}

// Where a run that went back stands, what changed, and what it had printed since.
void Session::sayWhereBack(std::uint64_t printedBefore, const std::string& how) {
  stopped_ = true;
  breakOutputLine();
  const std::optional<int> line = stoppedAt();
  say(how + (line ? ", before " + shownLine(*line) + " runs" : std::string()) + "\n");
  std::string changes;
  for (const VariableChange& change : control_.changes()) {
    changes += std::string(changes.empty() ? "" : "  ") + change.name + " = " +
               std::to_string(change.after) + " (was " + std::to_string(change.before) + ")";
  }
  if (!changes.empty()) say(changes + "\n");
  if (const std::uint64_t later = printedBefore - control_.printedLines(); later > 0) {
    say(later == 1 ? "the line printed since stays above, and prints again as the run goes on\n"
                   : "the " + countOf(static_cast<std::size_t>(later), "line") +
                         " printed since stay above, and print again as the run goes on\n");
  }
}

// vars: the variables that are not 0, as "i = 4  x = 55".
void Session::vars(std::string_view /*argument*/) {
  std::string shown;
  for (std::size_t i = 0; i < interpreter_.variables.size(); ++i) {
    if (interpreter_.variables[i] == 0) continue;
    shown += std::string(shown.empty() ? "" : "  ") + static_cast<char>('a' + i) + " = " +
             std::to_string(interpreter_.variables[i]);
  }
  say(shown.empty() ? "every variable is 0\n" : shown + "\n");
}

// break N: a run stops before line N runs; break alone lists the lines it stops at.
void Session::setBreakpoint(std::string_view argument) {
  if (argument.empty()) {
    if (breakpoints_.empty()) return say("no breakpoints: type 'break N' to stop at line N\n");
    std::string shown;
    for (const int number : breakpoints_) {
      shown += (shown.empty() ? "" : ", ") + std::to_string(number);
      if (const auto condition = conditions_.find(number); condition != conditions_.end())
        shown += " (if " + condition->second + ")";
    }
    std::string unreachable;
    for (const int number : unreachable_)
      unreachable += (unreachable.empty() ? "" : ", ") + std::to_string(number);
    return say(
        (breakpoints_.size() == 1 ? "a breakpoint at line " : "breakpoints at lines ") + shown +
        (unreachable.empty() ? "" : " (no run stops at " + unreachable + ": inside a literal)") +
        "\n");
  }
  // break N if EXPR: the run stops there only when EXPR is not 0.
  std::string condition;
  if (const std::size_t at = argument.find(" if "); at != std::string_view::npos) {
    condition = std::string(argument.substr(at + 4));
    argument = argument.substr(0, at);
    while (!condition.empty() && condition.front() == ' ')
      condition.erase(0, 1);
    if (condition.empty()) return complain("break: type 'break N if x > 5', say\n");
    // The condition is read as an IF reads it: what the checker says of it is said here.
    const std::vector<Diagnostic> said = checkProgram("if " + condition + " then end");
    if (!said.empty()) return complain("break: the condition " + said.front().message + "\n");
  }
  const std::optional<int> number = lineNumber(argument);
  if (!number) return complain("break: type 'break N' to stop before line N runs\n");
  if (lines_.count(*number) == 0) return complain(noLines({*number, *number}));
  if (!runsReach(*number, programText())) {
    return complain("break: a run never stops at line " + std::to_string(*number) + kInsideLiteral);
  }
  const bool added = breakpoints_.insert(*number).second;
  const auto had = conditions_.find(*number);
  const bool changed = (had == conditions_.end() ? std::string() : had->second) != condition;
  if (condition.empty()) {
    conditions_.erase(*number);
  } else {
    conditions_[*number] = condition;
  }
  if (!added && !changed)
    return say("line " + std::to_string(*number) + " has a breakpoint already\n");
  if (stopped_) placeBreakpoints({});
  say("a run stops before line " + std::to_string(*number) + " runs" +
      (condition.empty() ? std::string() : " when " + condition + " is not 0") + "\n");
}

// unbreak N: no more stops at line N; unbreak alone clears every breakpoint.
void Session::clearBreakpoint(std::string_view argument) {
  if (argument.empty()) {
    if (breakpoints_.empty()) return say("there were no breakpoints\n");
    return clearAllBreakpoints();
  }
  const std::optional<int> number = lineNumber(argument);
  if (!number) return complain("unbreak: type 'unbreak N', or 'unbreak' to clear them all\n");
  if (breakpoints_.count(*number) == 0)
    return complain("no breakpoint at line " + std::to_string(*number) + "\n");
  if (stopped_) control_.clearBreakpoint(textLine(*number));
  breakpoints_.erase(*number);
  conditions_.erase(*number);
  unreachable_.erase(*number);
  say("cleared the breakpoint at line " + std::to_string(*number) + "\n");
}

// Every breakpoint goes, and the count is told: `unbreak`, and a program replaced or forgotten
// (`whose`: " of the old program").
void Session::clearAllBreakpoints(std::string_view whose) {
  const std::size_t count = breakpoints_.size();
  breakpoints_.clear();
  unreachable_.clear();
  control_.clearBreakpoints();
  if (count != 0) say("cleared " + countOf(count, "breakpoint") + std::string(whose) + "\n");
}

// The breakpoints of lines `first` to `last`, which an edit deleted, go with them.
void Session::dropBreakpoints(int first, int last) {
  const auto from = breakpoints_.lower_bound(first);
  const auto to = breakpoints_.upper_bound(last);
  if (from == to) return;
  std::string dropped;
  for (auto number = from; number != to; ++number)
    dropped += (dropped.empty() ? "" : ", ") + std::to_string(*number);
  const bool several = std::next(from) != to;
  breakpoints_.erase(from, to);
  say(std::string(several ? "the breakpoints at lines " : "the breakpoint at line ") + dropped +
      (several ? " went with their lines\n" : " went with its line\n"));
}

// After an edit: names each breakpoint that no run reaches any more, since a literal that runs
// on from a line above now holds its line. It stays, for when the literal is closed.
void Session::noteUnreachableBreakpoints() {
  std::set<int> unreachable;
  const std::string text = breakpoints_.empty() ? std::string() : programText();
  for (const int number : breakpoints_) {
    if (runsReach(number, text)) continue;
    unreachable.insert(number);
    if (unreachable_.count(number) == 0)
      say("line " + std::to_string(number) + " is inside a literal now: no run stops there\n");
  }
  unreachable_ = std::move(unreachable);
}

// trace on, trace off: [N] before each line N a run reaches, as the program prints.
void Session::trace(std::string_view argument) {
  if (argument != "on" && argument != "off") {
    if (argument.empty()) return say(tracing_ ? "trace is on\n" : "trace is off\n");
    return complain("trace: type 'trace on' or 'trace off'\n");
  }
  tracing_ = argument == "on";
  if (!tracing_) return control_.setLineTrace({});
  control_.setLineTrace([this](std::int32_t number) {
    if (stepping_) return;
    writeOutput(this, "[" + std::to_string(number) + "]");
    traceOpen_ = true;
  });
}

// At a terminal, the prompt after a run starts a line of its own, even after "print x;"; in a
// script, what comes next starts one after a trace, as the trace of linebasic-run ends.
void Session::endRun() {
  if (settings_.onTerminal || traceOpen_) breakOutputLine();
}

}  // namespace linebasic

#include "debug/run_control.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "check/lines.h"

namespace linebasic {
namespace {

// `count` statements on by `more`, where kNoBound stays unbounded.
std::uint64_t later(std::uint64_t count, std::uint64_t more) {
  return more == RunControl::kNoBound ? more : count + more;
}

}  // namespace

RunPoint saveRunPoint(const Interpreter& interpreter) {
  return {interpreter.programText, interpreter.programEnd, interpreter.tokenStart,
          interpreter.tokenEnd,    interpreter.token,      interpreter.lineOrdinal,
          interpreter.gosubStack,  interpreter.gosubDepth, interpreter.forStack,
          interpreter.forDepth,    interpreter.endReached, interpreter.nestingDepth};
}

void restoreRunPoint(Interpreter& interpreter, const RunPoint& point) {
  interpreter.programText = point.programText;
  interpreter.programEnd = point.programEnd;
  interpreter.tokenStart = point.tokenStart;
  interpreter.tokenEnd = point.tokenEnd;
  interpreter.token = point.token;
  interpreter.lineOrdinal = point.lineOrdinal;
  interpreter.gosubStack = point.gosubStack;
  interpreter.gosubDepth = point.gosubDepth;
  interpreter.forStack = point.forStack;
  interpreter.forDepth = point.forDepth;
  interpreter.endReached = point.endReached;
  interpreter.nestingDepth = point.nestingDepth;
}

RunControl::RunControl(Interpreter& interpreter) : interpreter_(interpreter) {}

void RunControl::start(const char* text) {
  interpreter_.load(text);
  text_ = interpreter_.programText;
  lineStarts_.clear();
  findBreakpointSpans();
  statements_ = 0;
  resumedAt_ = saveRunPoint(interpreter_);
  statementsAtResume_ = 0;
  endingStatement_ = nullptr;
  reason_ = StopReason::Ended;
  previousLine_.reset();
  changes_.clear();
  lines_.forget();  // the first statement starts the first line's run
  printed_ = 0;
  printedLines_ = 0;
  furthest_ = 0;
  history_ = {};
  nextEdit_ = 0;
  takeCheckpoint(0, lines_);
}

void RunControl::setBreakpoint(int line) {
  breakpoints_.insert(line);
  findBreakpointSpans();
}

bool RunControl::clearBreakpoint(int line) {
  const bool had = breakpoints_.erase(line) != 0;
  findBreakpointSpans();
  return had;
}

void RunControl::clearBreakpoints() {
  breakpoints_.clear();
  breakpointSpans_.clear();
}

// The spans of the breakpoints' lines in the text started; lines beyond its end have none.
void RunControl::findBreakpointSpans() {
  breakpointSpans_.clear();
  if (breakpoints_.empty()) return;
  const std::vector<std::ptrdiff_t>& starts = lineStarts();
  const auto lineCount = static_cast<int>(starts.size());
  const char* const textEnd = text_ + std::strlen(text_);
  for (const int line : breakpoints_) {
    if (line < 1 || line > lineCount) continue;
    const auto index = static_cast<std::size_t>(line - 1);
    const char* const end = line < lineCount ? text_ + starts[index + 1] : textEnd + 1;
    breakpointSpans_.push_back({text_ + starts[index], end});
  }
}

bool RunControl::atBreakpoint(const char* at) const {
  for (const LineSpan& span : breakpointSpans_) {
    if (at < span.begin) return false;
    if (at < span.end) return true;
  }
  return false;
}

StopReason RunControl::resume(std::uint64_t bound) {
  return goOn(bound, false);
}

StopReason RunControl::step(std::uint64_t bound) {
  return goOn(bound, true);
}

// Every run is watched for the lines it reaches, but closely only where something needs them:
// with no breakpoint, no step and no trace, only to keep its past.
StopReason RunControl::goOn(std::uint64_t bound, bool stepping) {
  previousLine_ = line();
  variablesAtResume_ = interpreter_.variables;
  watchedValues_ = interpreter_.variables;  // a host's change is no watch's hit
  watchHit_.reset();
  resumedAt_ = saveRunPoint(interpreter_);
  statementsAtResume_ = statements_;
  endingStatement_ = nullptr;
  // What the run prints is counted on its way to the host, for the output as it stood at any
  // point of the run's past.
  hostOutput_ = interpreter_.output;
  interpreter_.output = {countOutput, this};
  const StopReason reason =
      trace_ ? runUntilStop<true>(bound, stepping) : runUntilStop<false>(bound, stepping);
  interpreter_.output = hostOutput_;
  return reason;
}

void RunControl::countOutput(void* context, std::string_view text) {
  auto* const self = static_cast<RunControl*>(context);
  self->printed_ += text.size();
  self->printedLines_ += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
  if (self->hostOutput_.write != nullptr) {
    self->hostOutput_.write(self->hostOutput_.context, text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void RunControl::takePosition() {
  lines_.standAt(interpreter_);
}

void LineRule::standAt(Interpreter& in) {
  const RunPoint here = saveRunPoint(in);
  last_ = nextStatement(in);
  if (last_ != nullptr) {
    while (in.tokenStart != last_)
      in.advance();
    lastOrdinal_ = in.lineOrdinal;
  }
  jumped_ = false;
  standing_ = last_ != nullptr;
  restoreRunPoint(in, here);
}

// A watching loop sees the run reach a line where a statement starts a line's run (LineRule);
// it stops there when the line has a breakpoint or a step has run a statement. Only tokens
// from the line-feed before the first breakpoint's line to the end of the last one's are
// looked at, or all of them when stepping or tracing: a breakpoint never reached costs little
// more than the plain loop. A statement that starts outside that window makes the next one
// inside start a line. Every so many statements the run's past gets a checkpoint, for which
// every token is looked at until a statement has run, so that the lines from there on are
// known exactly; a host's edit is put back where the run passes it again. What the loop keeps
// from one statement to the next stays in locals: as far as the compiler knows, a statement
// may change any member.
template <bool kTrace>
StopReason RunControl::runUntilStop(std::uint64_t bound, bool stepping) {
  Interpreter& in = interpreter_;
  const char* windowFrom = text_;
  auto windowSize = std::numeric_limits<std::uintptr_t>::max();
  if (!stepping && !kTrace) {
    windowFrom = breakpointSpans_.empty() ? text_ : breakpointSpans_.front().begin;
    if (windowFrom != text_) --windowFrom;  // the line-feed before the first line
    windowSize = breakpointSpans_.empty()
                     ? 0
                     : static_cast<std::uintptr_t>(breakpointSpans_.back().end - windowFrom);
  }
  const char* watchFrom = windowFrom;
  auto watchSize = windowSize;
  LineRule lines = lines_;
  const std::uint64_t base = statements_;
  std::uint64_t count = 0;
  std::uint64_t due = dueIn(base);  // the count at which a checkpoint or an edit is due
  bool syncing = false;             // every token is watched until a statement has run
  bool ran = false;                 // a statement has run, not only skipped tokens: a step may end
  const bool watching = !watches_.empty();
  bool closely = watching;  // every statement is looked at after it runs, in the window or not
  StopReason reason = StopReason::Ended;
  bool reached = false;  // the current token starts a line's run
  for (;; ++count) {
    reached = false;
    if (count == due) [[unlikely]] {
      putBackEdits(base + count);
      if (checkpointDue(base + count)) {
        syncing = true;
        closely = true;
        watchFrom = text_;
        watchSize = std::numeric_limits<std::uintptr_t>::max();
        due = later(count, nextEditIn(base + count));
      } else {
        due = later(count, dueIn(base + count));
      }
    }
    if (in.isDone()) break;
    LineRule::Start starts = LineRule::kNone;
    const bool inWindow = static_cast<std::uintptr_t>(in.tokenStart - watchFrom) < watchSize;
    if (inWindow) [[unlikely]] {
      starts = lines.startsLine(in);
    } else {
      lines.forget();
    }
    reached = starts != LineRule::kNone;
    // A step runs the line it starts on, breakpoint or not.
    if (starts == LineRule::kLine && (ran || !stepping)) [[unlikely]] {
      if (atBreakpoint(in.tokenStart) && conditionHolds(in.tokenStart)) {
        reason = StopReason::Breakpoint;
        break;
      }
      if (stepping) {
        reason = StopReason::Stepped;
        break;
      }
    }
    if (count == bound) {
      reason = StopReason::StepBound;
      break;
    }
    if (stopRequest_ != nullptr && stopRequest_->load(std::memory_order_relaxed) != 0) {
      stopRequest_->store(0);
      reason = StopReason::Interrupted;
      break;
    }
    if constexpr (kTrace) {
      if (reached) {
        if (const auto number = lineNumberOfLine(in)) trace_(*number);
      }
    }
    // Outside the window, with no watch and no checkpoint coming, a statement is only run.
    if (!inWindow && !closely) [[likely]] {
      in.executeStatement();
      continue;
    }
    const char* const before = in.tokenStart;
    const bool statement = startsStatement(in.token);
    ran = ran || statement;
    in.executeStatement();
    if (in.tokenStart < before) lines.jumpedBack();
    if (watching && statement && watchedChanged(lineOf(before))) [[unlikely]] {
      ++count;
      reached = false;
      reason = StopReason::Watched;
      break;
    }
    // A checkpoint once a statement has run with every token looked at: its lines are known.
    if (syncing && statement && inWindow) [[unlikely]] {
      syncing = false;
      closely = watching;
      watchFrom = windowFrom;
      watchSize = windowSize;
      takeCheckpoint(base + count + 1, lines);
      due = later(count + 1, dueIn(base + count + 1));
    }
  }
  statements_ += count;
  if (reached) lines.stoppedBefore();  // its line is reached when the run goes on
  lines_ = lines;
  return stop(reason);
}

StopReason RunControl::stop(StopReason reason) {
  reason_ = reason;
  furthest_ = std::max(furthest_, statements_);
  changes_.clear();
  for (int i = 0; i < kVariableCount; ++i) {
    const auto index = static_cast<std::size_t>(i);
    if (interpreter_.variables[index] != variablesAtResume_[index]) {
      changes_.push_back(
          {static_cast<char>('a' + i), variablesAtResume_[index], interpreter_.variables[index]});
    }
  }
  return reason;
}

const char* RunControl::endingStatement() {
  if (reason_ != StopReason::Ended || endingStatement_ != nullptr) return endingStatement_;
  const RunPoint end = saveRunPoint(interpreter_);
  const OutputSink output = interpreter_.output;
  const std::uint64_t statementCount = interpreter_.statementCount;
  interpreter_.output = {[](void* /*context*/, std::string_view /*text*/) {}, nullptr};
  restoreRunPoint(interpreter_, resumedAt_);
  interpreter_.variables = variablesAtResume_;
  for (std::uint64_t i = statementsAtResume_; i < statements_; ++i) {
    endingStatement_ = interpreter_.tokenStart;
    interpreter_.executeStatement();
  }
  interpreter_.output = output;
  interpreter_.statementCount = statementCount;
  restoreRunPoint(interpreter_, end);
  return endingStatement_;
}

std::optional<int> RunControl::line() const {
  if (interpreter_.isDone()) return {};
  const char* const next = nextStatement(interpreter_);
  if (next == nullptr) return {};
  return lineOf(next);
}

const char* nextStatement(Interpreter& in) {
  if (in.isDone()) return nullptr;
  if (startsStatement(in.token)) return in.tokenStart;
  const RunPoint here = saveRunPoint(in);
  while (!in.isDone() && !startsStatement(in.token))
    in.advance();
  const char* const next = in.isDone() ? nullptr : in.tokenStart;
  restoreRunPoint(in, here);
  return next;
}

// The 1-based text line that holds `at`; the end of the text is on the last line.
int RunControl::lineOf(const char* at) const {
  const std::vector<std::ptrdiff_t>& starts = lineStarts();
  return static_cast<int>(std::upper_bound(starts.begin(), starts.end(), at - text_) -
                          starts.begin());
}

// The offsets at which the lines of the text start, found at the first need.
const std::vector<std::ptrdiff_t>& RunControl::lineStarts() const {
  if (!lineStarts_.empty()) return lineStarts_;
  const auto size = static_cast<std::ptrdiff_t>(std::strlen(text_));
  lineStarts_.push_back(0);
  for (const char* feed = text_; (feed = std::strchr(feed, '\n')) != nullptr; ++feed) {
    if (feed + 1 - text_ < size) lineStarts_.push_back(feed + 1 - text_);
  }
  return lineStarts_;
}

}  // namespace linebasic

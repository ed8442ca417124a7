#include "debug/run_control.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "check/lines.h"

namespace linebasic {

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

// Lines are watched only when something needs them: with no breakpoint, no step and no trace,
// the loop is the plain run loop with a count and the stop request.
StopReason RunControl::goOn(std::uint64_t bound, bool stepping) {
  previousLine_ = line();
  variablesAtResume_ = interpreter_.variables;
  resumedAt_ = saveRunPoint(interpreter_);
  statementsAtResume_ = statements_;
  endingStatement_ = nullptr;
  if (trace_) return runUntilStop<true, true>(bound, stepping);
  if (stepping || !breakpointSpans_.empty()) return runUntilStop<true, false>(bound, stepping);
  const StopReason reason = runUntilStop<false, false>(bound, stepping);
  takePosition();  // the unwatched loop kept no track of lines: watch from here on
  return reason;
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
// inside start a line. What the loop keeps from one statement to the next stays in locals: as
// far as the compiler knows, a statement may change any member.
template <bool kWatch, bool kTrace>
StopReason RunControl::runUntilStop(std::uint64_t bound, bool stepping) {
  Interpreter& in = interpreter_;
  const char* watchFrom = text_;
  auto watchSize = std::numeric_limits<std::uintptr_t>::max();
  if (!stepping && !kTrace) {
    watchFrom = breakpointSpans_.empty() ? text_ : breakpointSpans_.front().begin;
    if (watchFrom != text_) --watchFrom;  // the line-feed before the first line
    watchSize = breakpointSpans_.empty()
                    ? 0
                    : static_cast<std::uintptr_t>(breakpointSpans_.back().end - watchFrom);
  }
  LineRule lines = lines_;
  std::uint64_t count = 0;
  bool ran = false;  // a statement has run, not only skipped tokens: a step may end
  StopReason reason = StopReason::Ended;
  bool reached = false;  // the current token starts a line's run
  for (;; ++count) {
    reached = false;
    if (in.isDone()) break;
    if constexpr (kWatch) {
      LineRule::Start starts = LineRule::kNone;
      if (static_cast<std::uintptr_t>(in.tokenStart - watchFrom) < watchSize) [[unlikely]] {
        starts = lines.startsLine(in);
      } else {
        lines.forget();
      }
      reached = starts != LineRule::kNone;
      if (starts == LineRule::kLine) [[unlikely]] {
        if (atBreakpoint(in.tokenStart)) {
          reason = StopReason::Breakpoint;
          break;
        }
        if (stepping && ran) {
          reason = StopReason::Stepped;
          break;
        }
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
    if constexpr (kWatch) {
      const char* const before = in.tokenStart;
      ran = ran || startsStatement(in.token);
      in.executeStatement();
      if (in.tokenStart < before) lines.jumpedBack();
    } else {
      in.executeStatement();
    }
  }
  statements_ += count;
  if (reached) lines.stoppedBefore();  // its line is reached when the run goes on
  lines_ = lines;
  return stop(reason);
}

StopReason RunControl::stop(StopReason reason) {
  reason_ = reason;
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

int textLineOf(const char* text, const char* at) {
  return static_cast<int>(std::count(text, at, '\n')) + 1;
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

#include "debug/run_control.h"

#include <algorithm>
#include <cstring>

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
  statements_ = 0;
  reason_ = StopReason::Ended;
  previousLine_.reset();
  changes_.clear();
  lastOrdinal_ = interpreter_.lineOrdinal;
  lastStart_ = interpreter_.tokenStart;
  lineAhead_ = true;
}

void RunControl::setBreakpoint(int line) {
  breakpoints_.insert(line);
}

bool RunControl::clearBreakpoint(int line) {
  return breakpoints_.erase(line) != 0;
}

void RunControl::clearBreakpoints() {
  breakpoints_.clear();
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
  if (stepping || !breakpoints_.empty() || trace_) return runUntilStop<true>(bound, stepping);
  const StopReason reason = runUntilStop<false>(bound, stepping);
  // The unwatched loop kept no track of lines: start watching from here.
  lastOrdinal_ = interpreter_.lineOrdinal;
  lastStart_ = interpreter_.tokenStart;
  lineAhead_ = interpreter_.token == TokenKind::Newline;
  return reason;
}

template <bool kWatch>
StopReason RunControl::runUntilStop(std::uint64_t bound, bool stepping) {
  for (std::uint64_t count = 0;; ++count) {
    if (interpreter_.isDone()) return stop(StopReason::Ended);
    if constexpr (kWatch) {
      if (const auto reason = stopsAtLine(stepping, count > 0)) return stop(*reason);
    }
    if (count == bound) return stop(StopReason::StepBound);
    if (stopRequest_ != nullptr && *stopRequest_ != 0) {
      *stopRequest_ = 0;
      return stop(StopReason::Interrupted);
    }
    if constexpr (kWatch) {
      if (trace_) {
        if (const auto number = lineNumberAt(interpreter_)) trace_(*number);
      }
    }
    interpreter_.executeStatement();
    ++statements_;
  }
}

// Between two statements: notes a line-feed passed or a jump taken since the last one, and
// when that brings the run to a line, whether it stops there.
std::optional<StopReason> RunControl::stopsAtLine(bool stepping, bool ranOne) {
  const Interpreter& in = interpreter_;
  if (in.lineOrdinal != lastOrdinal_ || in.tokenStart < lastStart_) lineAhead_ = true;
  lastOrdinal_ = in.lineOrdinal;
  lastStart_ = in.tokenStart;
  if (!lineAhead_ || in.token == TokenKind::Newline) return {};
  lineAhead_ = false;
  if (!breakpoints_.empty() && breakpoints_.contains(lineOf(in.tokenStart)))
    return StopReason::Breakpoint;
  if (stepping && ranOne) return StopReason::Stepped;
  return {};
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

std::optional<int> RunControl::line() const {
  if (interpreter_.isDone()) return {};
  const bool atLineFeed = interpreter_.token == TokenKind::Newline;
  return lineOf(interpreter_.tokenStart + (atLineFeed ? 1 : 0));
}

// The 1-based text line that holds `at`; the end of the text is on the last line.
int RunControl::lineOf(const char* at) const {
  if (lineStarts_.empty()) {
    const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(std::strlen(text_));
    lineStarts_.push_back(0);
    for (const char* feed = text_; (feed = std::strchr(feed, '\n')) != nullptr; ++feed) {
      if (feed + 1 - text_ < size) lineStarts_.push_back(feed + 1 - text_);
    }
  }
  const auto after = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), at - text_);
  return static_cast<int>(after - lineStarts_.begin());
}

}  // namespace linebasic

// Looking into a stopped run and stepping by subroutines: watches, conditions on breakpoints,
// expressions read as an IF reads them, over and out, and the calls and loops that are open.
#include <algorithm>
#include <string>

#include "debug/run_control.h"

namespace linebasic {

void RunControl::watch(char name) {
  if (!isLower(name)) return;
  watches_.insert(name);
  watchedValues_ = interpreter_.variables;
}

bool RunControl::unwatch(char name) {
  return watches_.erase(name) != 0;
}

// After a statement that started on text line `line`: a watched variable that changed is the
// watch's hit.
bool RunControl::watchedChanged(int line) {
  for (const char name : watches_) {
    const auto index = static_cast<std::size_t>(name - 'a');
    const std::int8_t now = interpreter_.variables[index];
    if (now == watchedValues_[index]) continue;
    watchHit_ = WatchHit{name, watchedValues_[index], now, line};
    watchedValues_ = interpreter_.variables;
    return true;
  }
  return false;
}

void RunControl::setCondition(int line, std::string condition) {
  if (condition.empty()) {
    conditions_.erase(line);
  } else {
    conditions_[line] = std::move(condition);
  }
}

std::int32_t RunControl::evaluate(std::string_view expression) const {
  const std::string text(expression);
  Interpreter evaluator;
  evaluator.load(text.c_str());
  evaluator.variables = interpreter_.variables;
  return evaluator.evalRelation();
}

// A breakpoint's line at `at` stops the run: it has no condition, or its condition is not 0.
bool RunControl::conditionHolds(const char* at) const {
  if (conditions_.empty()) return true;
  const auto condition = conditions_.find(lineOf(at));
  return condition == conditions_.end() || evaluate(condition->second) != 0;
}

// Steps on while more GOSUBs than `depthAbove` are active, one line at a time, and stops as
// a step would once they are not; a breakpoint or a watch on the way stops it there.
StopReason RunControl::stepWhile(std::uint64_t bound, std::int32_t depthAbove) {
  const auto variables = interpreter_.variables;
  const std::optional<int> from = line();
  const std::uint64_t start = statements_;
  StopReason reason = StopReason::Stepped;
  do {
    reason = step(bound - std::min(bound, statements_ - start));
  } while (reason == StopReason::Stepped && interpreter_.gosubDepth > depthAbove &&
           statements_ - start < bound);
  // The bound ran out at a line still deeper than asked: that is the bound's stop.
  if (reason == StopReason::Stepped && interpreter_.gosubDepth > depthAbove)
    reason = StopReason::StepBound;
  previousLine_ = from;
  variablesAtResume_ = variables;
  return stop(reason);
}

StopReason RunControl::over(std::uint64_t bound) {
  return stepWhile(bound, interpreter_.gosubDepth);
}

StopReason RunControl::out(std::uint64_t bound) {
  if (interpreter_.gosubDepth == 0) return resume(bound);
  return stepWhile(bound, interpreter_.gosubDepth - 1);
}

std::vector<Frame> RunControl::stack() const {
  // The line a jump to an ordinal goes on with, found as a run finds it: that of the next
  // statement after where the jump lands.
  const auto lineAt = [this](std::int32_t ordinal) {
    Interpreter probe;
    probe.load(text_);
    probe.jumpToOrdinal(ordinal);
    const char* const next = nextStatement(probe);
    return next == nullptr ? 0 : lineOf(next);
  };
  std::vector<Frame> frames;
  for (std::int32_t i = interpreter_.gosubDepth; i-- > 0;)
    frames.push_back({true, lineAt(interpreter_.gosubStack[static_cast<std::size_t>(i)]), 0, 0});
  for (std::int32_t i = interpreter_.forDepth; i-- > 0;) {
    const ForFrame& frame = interpreter_.forStack[static_cast<std::size_t>(i)];
    frames.push_back({false, lineAt(frame.bodyOrdinal),
                      static_cast<char>('a' + frame.variableIndex), frame.limit});
  }
  return frames;
}

}  // namespace linebasic

// A run's past: checkpoints, the host's edits, and going back by replaying from a checkpoint.
#include <algorithm>

#include "debug/run_control.h"

namespace linebasic {
namespace {

// What a replay prints is counted, not shown again.
struct Counted {
  std::uint64_t bytes;
  std::uint64_t lines;
};
void countOnly(void* context, std::string_view text) {
  auto* const counted = static_cast<Counted*>(context);
  counted->bytes += text.size();
  counted->lines += static_cast<std::uint64_t>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace

std::uint64_t RunControl::nextEditIn(std::uint64_t at) const {
  if (nextEdit_ >= history_.edits.size()) return kNoBound;
  return history_.edits[nextEdit_].statements - at;
}

bool RunControl::checkpointDue(std::uint64_t at) const {
  return at >= history_.checkpoints.back().statements + history_.interval;
}

std::uint64_t RunControl::dueIn(std::uint64_t at) const {
  const std::uint64_t checkpointAt = history_.checkpoints.back().statements + history_.interval;
  return std::min(nextEditIn(at), checkpointAt > at ? checkpointAt - at : 0);
}

void RunControl::takeCheckpoint(std::uint64_t at, const LineRule& lines) {
  std::vector<Checkpoint>& checkpoints = history_.checkpoints;
  if (!checkpoints.empty() && at <= checkpoints.back().statements) return;  // run again
  if (checkpoints.size() == History::kCheckpointsMax) {
    // Every other one goes, the first kept: the interval doubles, and the checkpoints never
    // take more room than the most there may be.
    std::size_t kept = 1;
    for (std::size_t i = 2; i < checkpoints.size(); i += 2)
      checkpoints[kept++] = checkpoints[i];
    checkpoints.resize(kept);
    history_.interval *= 2;
  }
  checkpoints.push_back({at, interpreter_.statementCount, saveRunPoint(interpreter_),
                         interpreter_.variables, printed_, printedLines_, lines});
}

void RunControl::putBackEdits(std::uint64_t at) {
  std::vector<HostEdit>& edits = history_.edits;
  for (; nextEdit_ < edits.size() && edits[nextEdit_].statements <= at; ++nextEdit_)
    interpreter_.variables = edits[nextEdit_].variables;
}

void RunControl::noteHostEdit() {
  // The run's future from here is another one: what was kept of the old one goes.
  std::vector<Checkpoint>& checkpoints = history_.checkpoints;
  while (checkpoints.size() > 1 && checkpoints.back().statements > statements_)
    checkpoints.pop_back();
  std::vector<HostEdit>& edits = history_.edits;
  while (!edits.empty() && edits.back().statements > statements_)
    edits.pop_back();
  edits.push_back({statements_, interpreter_.variables});
  nextEdit_ = edits.size();
  furthest_ = statements_;  // the run's future from here is yet to come
}

void RunControl::restore(const Checkpoint& checkpoint) {
  restoreRunPoint(interpreter_, checkpoint.point);
  interpreter_.variables = checkpoint.variables;
  interpreter_.statementCount = checkpoint.statementCount;
  statements_ = checkpoint.statements;
  printed_ = checkpoint.printed;
  printedLines_ = checkpoint.printedLines;
  lines_ = checkpoint.lines;
  nextEdit_ = static_cast<std::size_t>(
      std::upper_bound(history_.edits.begin(), history_.edits.end(), checkpoint.statements,
                       [](std::uint64_t n, const HostEdit& edit) { return n < edit.statements; }) -
      history_.edits.begin());
  // An edit made where the checkpoint stands came after it.
  while (nextEdit_ > 0 && history_.edits[nextEdit_ - 1].statements == checkpoint.statements)
    --nextEdit_;
  putBackEdits(checkpoint.statements);
}

// The last checkpoint at or before `statements`.
std::size_t RunControl::checkpointBefore(std::uint64_t statements) const {
  const std::vector<Checkpoint>& checkpoints = history_.checkpoints;
  const auto after =
      std::upper_bound(checkpoints.begin(), checkpoints.end(), statements,
                       [](std::uint64_t n, const Checkpoint& c) { return n < c.statements; });
  return static_cast<std::size_t>(after - checkpoints.begin()) - 1;
}

bool RunControl::replay(const Checkpoint& from, std::uint64_t end, std::vector<PastStop>* stops,
                        bool stopsOnly) {
  restore(from);
  Counted printed{printed_, printedLines_};
  const OutputSink output = interpreter_.output;
  interpreter_.output = {countOnly, &printed};
  LineRule lines = lines_;
  Interpreter& in = interpreter_;
  const bool watching = stopsOnly && !watches_.empty();
  watchedValues_ = in.variables;
  bool interrupted = false;
  for (std::uint64_t at = statements_; at < end && !in.isDone(); ++at) {
    // A long way back can be stopped, as a run can.
    if ((at & 0xFFFF) == 0 && stopRequest_ != nullptr &&
        stopRequest_->load(std::memory_order_relaxed) != 0) {
      stopRequest_->store(0);
      interrupted = true;
      break;
    }
    putBackEdits(at);
    if (watching) watchedValues_ = in.variables;  // an edit is no watch's hit
    if (lines.startsLine(in) != LineRule::kNone && stops != nullptr &&
        (!stopsOnly || (atBreakpoint(in.tokenStart) && conditionHolds(in.tokenStart)))) {
      stops->push_back({at, {}});
    }
    const char* const before = in.tokenStart;
    const bool statement = startsStatement(in.token);
    in.executeStatement();
    if (in.tokenStart < before) lines.jumpedBack();
    ++statements_;
    if (watching && statement && watchedChanged(lineOf(before)) && at + 1 < end)
      stops->push_back({at + 1, watchHit_});
  }
  interpreter_.output = output;
  printed_ = printed.bytes;
  printedLines_ = printed.lines;
  lines_ = lines;
  return !interrupted;
}

KeptRun RunControl::keep() {
  return {std::move(history_),
          saveRunPoint(interpreter_),
          interpreter_.variables,
          statements_,
          interpreter_.statementCount,
          printed_,
          printedLines_,
          lines_,
          nextEdit_,
          furthest_};
}

void RunControl::putBack(const char* text, KeptRun run) {
  start(text);
  history_ = std::move(run.history);
  restoreRunPoint(interpreter_, run.point);
  statements_ = run.statements;
  interpreter_.statementCount = run.statementCount;
  printed_ = run.printed;
  printedLines_ = run.printedLines;
  lines_ = run.lines;
  nextEdit_ = run.nextEdit;
  furthest_ = run.furthest;
  resumedAt_ = run.point;
  statementsAtResume_ = statements_;
  if (interpreter_.variables != run.variables) noteHostEdit();
}

// The run stands at `statements`, before the statement it would execute there.
void RunControl::goTo(std::uint64_t statements, const Variables& before) {
  replay(history_.checkpoints[checkpointBefore(statements)], statements, nullptr, false);
  putBackEdits(statements);
  if (interpreter_.statementCount == history_.checkpoints.front().statementCount) {
    restore(history_.checkpoints.front());  // only skipped tokens before: the run's start
  }
  // The line the run stands on is reached when it goes on: the trace shows it then, and no
  // breakpoint stops it twice.
  LineRule lines = lines_;
  if (!interpreter_.isDone() && lines.startsLine(interpreter_) != LineRule::kNone) {
    lines.stoppedBefore();
    lines_ = lines;
  }
  variablesAtResume_ = before;
  resumedAt_ = saveRunPoint(interpreter_);
  statementsAtResume_ = statements_;
  endingStatement_ = nullptr;
  stop(StopReason::Stepped);
}

std::uint64_t RunControl::back(std::uint64_t lines) {
  const std::uint64_t now = statements_;
  const Variables before = interpreter_.variables;  // the replays below change them
  previousLine_ = line();
  if (lines == 0 || now == 0) return 0;
  // The lines begun before now, latest first, from as many stretches between checkpoints as
  // it takes.
  std::vector<std::uint64_t> found;
  std::uint64_t end = now;
  for (std::size_t i = checkpointBefore(now - 1); found.size() < lines; --i) {
    std::vector<PastStop> starts;
    if (!replay(history_.checkpoints[i], end, &starts, false)) {
      goTo(now, before);  // interrupted: the run stands where it stood
      return 0;
    }
    for (auto start = starts.rbegin(); start != starts.rend() && found.size() < lines; ++start)
      found.push_back(start->statements);
    end = history_.checkpoints[i].statements;
    if (i == 0) break;
  }
  const std::uint64_t undone = found.size();
  goTo(undone == lines ? found.back() : 0, before);
  return undone;
}

StopReason RunControl::backToStop() {
  const std::uint64_t now = statements_;
  const Variables before = interpreter_.variables;  // the replays below change them
  previousLine_ = line();
  std::uint64_t end = now;
  for (std::size_t i = now == 0 ? 0 : checkpointBefore(now - 1); now > 0; --i) {
    std::vector<PastStop> stops;
    if (!replay(history_.checkpoints[i], end, &stops, true)) {
      goTo(now, before);  // interrupted: the run stands where it stood
      return StopReason::Interrupted;
    }
    if (!stops.empty()) {
      const PastStop last = stops.back();
      goTo(last.statements, before);
      watchHit_ = last.watchHit;
      reason_ = last.watchHit ? StopReason::Watched : StopReason::Breakpoint;
      return reason_;
    }
    end = history_.checkpoints[i].statements;
    if (i == 0) break;
  }
  goTo(0, before);
  watchHit_.reset();
  return StopReason::Stepped;
}

void RunControl::goToStep(std::uint64_t statements) {
  previousLine_ = line();
  const Variables before = interpreter_.variables;
  goTo(std::min(statements, furthest_), before);  // no further than the run has been
}

}  // namespace linebasic

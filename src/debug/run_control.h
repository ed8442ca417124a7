// Run control: a program run that can stop and go on. It drives an Interpreter statement by
// statement, as the plain run loop does, and hands control back at a breakpoint, after one
// line, at a bound on statements or at a request from outside; between stops the host may
// look at the variables or change them. It never changes what a run does or prints.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interpreter/interpreter.h"

namespace linebasic {

// Why a run handed control back.
enum class StopReason {
  Ended,        // the text is exhausted or END has run
  Breakpoint,   // the run reached a line that has a breakpoint
  Stepped,      // one line has run and the run reached the next
  StepBound,    // the bound on statements was reached
  Interrupted,  // the stop request was set
  Watched,      // a statement changed a watched variable (watchHit() tells)
};

// What stopped a run at a watch: the variable, its value before and after, and the text line
// of the statement that changed it.
struct WatchHit {
  char name;
  std::int32_t before;
  std::int32_t after;
  int line;
};

// An active GOSUB or FOR, as the run keeps it: for a GOSUB the text line the run goes on with
// after RETURN, for a FOR its variable, its limit and the text line NEXT goes back to (0: the
// end of the text).
struct Frame {
  bool isGosub;
  int line;
  char variable;
  std::int32_t limit;
};

// A variable whose value differs from the one it had when the run last went on.
struct VariableChange {
  char name;            // a to z
  std::int32_t before;  // when the run went on
  std::int32_t after;   // when it stopped
};

// Everything a run keeps of where it is: the text it runs, its position and its two stacks.
// An immediate line run on the same interpreter while a run is stopped saves and restores it,
// so that the run can go on; the variables are shared on purpose.
struct RunPoint {
  const char* programText;
  const char* programEnd;
  const char* tokenStart;
  const char* tokenEnd;
  TokenKind token;
  std::int32_t lineOrdinal;
  std::array<std::int32_t, kGosubDepthMax> gosubStack;
  std::int32_t gosubDepth;
  std::array<ForFrame, kForDepthMax> forStack;
  std::int32_t forDepth;
  std::int32_t endReached;
  std::int32_t nestingDepth;
};

RunPoint saveRunPoint(const Interpreter& interpreter);
void restoreRunPoint(Interpreter& interpreter, const RunPoint& point);

// The one rule for lines, which the trace, stepping, breakpoints and every "at line N" follow:
// a line runs when a statement starts on it. The tokens a run only skips (a line's number, a
// word that is no keyword) run no line; a line whose number a statement above read as a value
// runs all the same when a statement starts on it.
// True for the kinds of token that start a statement (the others the run skips).
inline bool startsStatement(TokenKind kind) {
  return (detail::kStatementKinds >> (static_cast<std::uint32_t>(kind) % 64) & 1) != 0;
}

class LineRule {
 public:
  enum Start {
    kNone,     // no statement starts here, or it goes on with the line of the one before
    kLine,     // a statement starts a line's run
    kResumed,  // the statement a stopped run stood before starts its line's run at last
  };

  // What the current token of `in`, about to be executed, starts: a line's run when it starts
  // a statement on another line than the last statement did, or after a jump back (a loop
  // runs its line again).
  Start startsLine(const Interpreter& in) {
    if (!startsStatement(in.token)) return kNone;
    const char* const start = in.tokenStart;
    if (standing_) {
      standing_ = false;
      if (start == last_ && !jumped_) return kResumed;
    }
    const bool starts =
        last_ == nullptr || jumped_ || start < last_ || in.lineOrdinal != lastOrdinal_ ||
        std::memchr(last_, '\n', static_cast<std::size_t>(start - last_)) != nullptr;
    last_ = start;
    lastOrdinal_ = in.lineOrdinal;
    jumped_ = false;
    return starts ? kLine : kNone;
  }
  // The statement just executed moved the run back in the text.
  void jumpedBack() { jumped_ = true; }
  // The run stopped before the statement that startsLine() last saw start a line.
  void stoppedBefore() { standing_ = true; }
  // The next statement starts a line's run, wherever it stands.
  void forget() { last_ = nullptr; }  // standing_ counts only where last_ is
  // The run stands where `in` stands, before its next statement: it reaches that statement's
  // line as a run resumed there does.
  void standAt(Interpreter& in);

 private:
  const char* last_ = nullptr;  // where the last statement started
  std::int32_t lastOrdinal_ = 0;
  bool jumped_ = false;
  bool standing_ = false;  // the run stopped before the statement at last_
};

// Where the next statement of the run on `in` starts: the current token when it starts one,
// else the first after the tokens the run will skip. Null when the run ends first. The run
// itself does not move.
const char* nextStatement(Interpreter& in);

// A point of a run's past it can be set back to: all that its future depends on.
struct Checkpoint {
  std::uint64_t statements;      // executed before it, skipped tokens included
  std::uint64_t statementCount;  // the interpreter's count of statements begun
  RunPoint point;
  std::array<std::int8_t, kVariableCount> variables;
  std::uint64_t printed;       // bytes printed before it
  std::uint64_t printedLines;  // line-feeds among them
  LineRule lines;
};

// A change a host made to the variables of a stopped run, at the count of statements where
// the run stood: replayed whenever the run passes that point again.
struct HostEdit {
  std::uint64_t statements;
  std::array<std::int8_t, kVariableCount> variables;
};

// A run's past: checkpoints every so many statements and the host's edits. Going back
// restores the nearest checkpoint and replays the run from it (nothing outside the text steers
// a run, so the replay is the run). The checkpoints are at most kCheckpointsMax: when they are
// more, every other one goes and the interval doubles, so a long run's history stays small.
struct History {
  static constexpr std::uint64_t kFirstInterval = 1024;
  static constexpr std::size_t kCheckpointsMax = std::size_t{1} << 16;
  std::vector<Checkpoint> checkpoints;  // rising; the first at the start of the run
  std::vector<HostEdit> edits;          // rising
  std::uint64_t interval = kFirstInterval;
};

// All of a run that a control keeps, moved out while the control runs another text (an
// immediate line beside a stopped run) and put back after.
struct KeptRun {
  History history;
  RunPoint point;
  std::array<std::int8_t, kVariableCount> variables;
  std::uint64_t statements;
  std::uint64_t statementCount;
  std::uint64_t printed;
  std::uint64_t printedLines;
  LineRule lines;
  std::size_t nextEdit;
  std::uint64_t furthest;
};

// A run reaches a line when a statement starts on it (LineRule). Lines are those of the text,
// counted from 1 at every line-feed.
class RunControl {
 public:
  static constexpr std::uint64_t kNoBound = std::numeric_limits<std::uint64_t>::max();

  explicit RunControl(Interpreter& interpreter);

  // Loads `text` (which must outlive the run, unchanged) and sets the run at its top; the
  // variables and the breakpoints stay. The first line counts as reached.
  void start(const char* text);

  void setBreakpoint(int line);
  // False when `line` had no breakpoint.
  bool clearBreakpoint(int line);
  void clearBreakpoints();
  [[nodiscard]] const std::set<int>& breakpoints() const { return breakpoints_; }

  // The flag another thread or a signal handler sets to stop the run (lock-free, so a handler
  // may set it); it is checked before each statement and cleared when it stops the run.
  void setStopRequest(std::atomic<int>* request) { stopRequest_ = request; }

  // Called with N before the first statement of each run of a line numbered N: the [N] trace
  // of the lines a run reaches. Empty: no trace, and no cost.
  void setLineTrace(std::function<void(std::int32_t)> trace) { trace_ = std::move(trace); }

  // Takes the interpreter's position, where its host has set it, as the one the run stands on,
  // reached already: a host that moves the run between stops calls it before going on.
  void takePosition();

  // Runs until a breakpoint, the end, `bound` more statements or the stop request.
  StopReason resume(std::uint64_t bound = kNoBound);
  // Runs one line: until the run reaches a line again (or any of resume's stops).
  StopReason step(std::uint64_t bound = kNoBound);

  [[nodiscard]] StopReason reason() const { return reason_; }
  // The text line the run stands on: the line of the next statement it runs. Empty once the
  // run has ended, or when no statement is left to run.
  [[nodiscard]] std::optional<int> line() const;
  // The line the run stood on when it last went on: the line a step ran.
  [[nodiscard]] std::optional<int> previousLine() const { return previousLine_; }
  // The variables that changed between the run's going on and its last stop, a to z.
  [[nodiscard]] const std::vector<VariableChange>& changes() const { return changes_; }
  // Statements executed since start.
  [[nodiscard]] std::uint64_t statements() const { return statements_; }
  // Watches: a run, forward or back, stops after a statement that changed a watched variable.
  void watch(char name);
  bool unwatch(char name);  // false when `name` was not watched
  [[nodiscard]] const std::set<char>& watches() const { return watches_; }
  [[nodiscard]] const std::optional<WatchHit>& watchHit() const { return watchHit_; }
  // A breakpoint on text line `line` stops only where `condition`, an expression of the
  // dialect, is not 0 (empty: always).
  void setCondition(int line, std::string condition);
  [[nodiscard]] const std::map<int, std::string>& conditions() const { return conditions_; }
  // `expression` read by the engine's own evaluator (comparisons too) with the run's variables.
  [[nodiscard]] std::int32_t evaluate(std::string_view expression) const;

  // Over: runs the line it stands on, GOSUBs and all, to the next line at the same depth of
  // GOSUBs or shallower. Out: runs until the current subroutine has returned (with no GOSUB
  // active, as cont). Both stop at breakpoints and watches on the way, as resume does.
  StopReason over(std::uint64_t bound = kNoBound);
  StopReason out(std::uint64_t bound = kNoBound);
  // The active GOSUBs and FOR loops, innermost first.
  [[nodiscard]] std::vector<Frame> stack() const;

  // Back in time. back() undoes the last `lines` lines the run ran (a line begun but not
  // finished counts as one), and returns how many it undid: fewer at the start of the run.
  // Either way, as with backToStop() below, the run then stands where it stood, the
  // variables, both stacks and the bytes printed as they were there; going on runs forward
  // again as the run did.
  std::uint64_t back(std::uint64_t lines = 1);
  // backToStop() goes back to the last breakpoint (its condition holding) or watch the run
  // met, returning Breakpoint or Watched, or to the start (Stepped).
  StopReason backToStop();
  // The run stands where it stood after `statements` steps of its past (or at its end).
  void goToStep(std::uint64_t statements);
  // The host changed the variables of the stopped run: from here on, the run's past holds it.
  void noteHostEdit();
  // The bytes, and the lines, the run has printed up to where it stands.
  [[nodiscard]] std::uint64_t printed() const { return printed_; }
  [[nodiscard]] std::uint64_t printedLines() const { return printedLines_; }
  [[nodiscard]] const History& history() const { return history_; }
  // The run, past and all, moved out; and put back on its text (which must be the one it ran)
  // where it stood, the variables left as the host has them: when they changed meanwhile, that
  // is the host's edit.
  KeptRun keep();
  void putBack(const char* text, KeptRun run);

  // Where the statement that ended the run in the last resume or step began; null when that
  // did not end it. Found by running it again from where it began, printing nothing (nothing
  // outside the text steers a run), so a host that wants it bounds each resume.
  const char* endingStatement();

 private:
  // The bytes of one line that has a breakpoint, its line-feed included.
  struct LineSpan {
    const char* begin;
    const char* end;
  };

  StopReason goOn(std::uint64_t bound, bool stepping);
  template <bool kTrace>
  StopReason runUntilStop(std::uint64_t bound, bool stepping);
  // Statements from `at` until a checkpoint or a host's edit is due.
  [[nodiscard]] std::uint64_t dueIn(std::uint64_t at) const;
  [[nodiscard]] std::uint64_t nextEditIn(std::uint64_t at) const;
  [[nodiscard]] bool checkpointDue(std::uint64_t at) const;
  void takeCheckpoint(std::uint64_t at, const LineRule& lines);
  void putBackEdits(std::uint64_t at);
  void restore(const Checkpoint& checkpoint);
  // A point of the past where a run going back may stop: a line's start, or the point after a
  // statement that changed a watched variable.
  struct PastStop {
    std::uint64_t statements;
    std::optional<WatchHit> watchHit;
  };
  using Variables = std::array<std::int8_t, kVariableCount>;
  // Replays from `from` up to `end` statements, adding to `stops` the lines' starts, or with
  // `stopsOnly` those where a run stops: breakpoints whose condition holds, and watches.
  // False when a stop request cut it short.
  bool replay(const Checkpoint& from, std::uint64_t end, std::vector<PastStop>* stops,
              bool stopsOnly);
  // `before`: the variables where the run stood, for the changes it tells.
  void goTo(std::uint64_t statements, const Variables& before);
  [[nodiscard]] std::size_t checkpointBefore(std::uint64_t statements) const;
  static void countOutput(void* context, std::string_view text);
  [[nodiscard]] bool atBreakpoint(const char* at) const;
  [[nodiscard]] bool conditionHolds(const char* at) const;
  bool watchedChanged(int line);
  StopReason stepWhile(std::uint64_t bound, std::int32_t depthAbove);
  void findBreakpointSpans();
  StopReason stop(StopReason reason);
  [[nodiscard]] int lineOf(const char* at) const;
  [[nodiscard]] const std::vector<std::ptrdiff_t>& lineStarts() const;

  Interpreter& interpreter_;
  std::set<int> breakpoints_;
  std::vector<LineSpan> breakpointSpans_;  // of the lines in breakpoints_, in text order
  std::atomic<int>* stopRequest_ = nullptr;
  std::function<void(std::int32_t)> trace_;
  const char* text_ = "";  // the text started
  StopReason reason_ = StopReason::Ended;
  std::optional<int> previousLine_;  // line() when the run last went on
  std::vector<VariableChange> changes_;
  std::array<std::int8_t, kVariableCount> variablesAtResume_{};
  RunPoint resumedAt_{};  // where the run last went on
  std::uint64_t statementsAtResume_ = 0;
  const char* endingStatement_ = nullptr;  // once found
  std::uint64_t statements_ = 0;
  LineRule lines_;  // where the last statement started, to see the next start a line
  History history_;
  std::uint64_t printed_ = 0;       // bytes printed since start
  std::uint64_t printedLines_ = 0;  // line-feeds among them
  std::uint64_t furthest_ = 0;      // the most statements the run has been at
  OutputSink hostOutput_;           // where the run's output goes while it runs
  std::size_t nextEdit_ = 0;        // the first of history_.edits not yet passed
  std::set<char> watches_;
  std::array<std::int8_t, kVariableCount> watchedValues_{};  // as the run last saw them
  std::optional<WatchHit> watchHit_;
  std::map<int, std::string> conditions_;           // by text line
  mutable std::vector<std::ptrdiff_t> lineStarts_;  // offset of each line's first byte, once
};

}  // namespace linebasic

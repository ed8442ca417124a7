// Run control: a program run that can stop and go on. It drives an Interpreter statement by
// statement, as the plain run loop does, and hands control back at a breakpoint, after one
// line, at a bound on statements or at a request from outside; between stops the host may
// look at the variables or change them. It never changes what a run does or prints.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <set>
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

// A run reaches a line when, between two statements, the current token is the first one it
// meets on that line: after it stepped over the line-feed before it, or where a jump landed.
// Lines are those of the text, counted from 1 at every line-feed; a line the run only passes
// inside a string literal, or reads inside a statement begun on the line above, is not reached.
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

  // Called with N before each statement whose token is the number that starts a line N: the
  // [N] trace of the lines a run reaches. Empty: no trace, and no cost.
  void setLineTrace(std::function<void(std::int32_t)> trace) { trace_ = std::move(trace); }

  // Takes the interpreter's position, where its host has set it, as the one the run stands on,
  // reached already: a host that moves the run between stops calls it before going on.
  void takePosition();

  // Runs until a breakpoint, the end, `bound` more statements or the stop request.
  StopReason resume(std::uint64_t bound = kNoBound);
  // Runs one line: until the run reaches a line again (or any of resume's stops).
  StopReason step(std::uint64_t bound = kNoBound);

  [[nodiscard]] StopReason reason() const { return reason_; }
  // The text line the run stands on: the line it reached, or that of the current token
  // (after a line-feed token, the line that follows). Empty once the run has ended.
  [[nodiscard]] std::optional<int> line() const;
  // The line the run stood on when it last went on: the line a step ran.
  [[nodiscard]] std::optional<int> previousLine() const { return previousLine_; }
  // The variables that changed between the run's going on and its last stop, a to z.
  [[nodiscard]] const std::vector<VariableChange>& changes() const { return changes_; }
  // Statements executed since start.
  [[nodiscard]] std::uint64_t statements() const { return statements_; }
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
  template <bool kWatch, bool kTrace>
  StopReason runUntilStop(std::uint64_t bound, bool stepping);
  [[nodiscard]] bool atBreakpoint(const char* at) const;
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
  // Where the scan stood before the last statement, to see a line-feed passed or a jump.
  std::int32_t lastOrdinal_ = 0;
  const char* lastStart_ = nullptr;
  bool lineAhead_ = false;  // a line is reached at the next token that is not a line-feed
  mutable std::vector<std::ptrdiff_t> lineStarts_;  // offset of each line's first byte, once
};

}  // namespace linebasic

// The library's public face: a machine behind an opaque handle, over the interpreter and run
// control. Nothing here changes what a run does; it copies texts, counts, bounds and translates
// between line numbers and the text lines run control counts.
#include "linebasic/linebasic.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "check/lines.h"
#include "debug/run_control.h"
#include "edit/fix.h"
#include "edit/renumber.h"
#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace {

using linebasic::RunControl;
using linebasic::StopReason;

constexpr std::size_t kDefaultTextLimit = std::size_t{16} << 20;
// A slice of an unbounded run: short enough that finding the statement that ended a run (by
// running the last slice again) is quick, long enough to cost nothing measurable.
constexpr std::uint64_t kSliceMax = std::uint64_t{1} << 20;
// With a time limit, a slice reads about this many bytes of text, taking a step to read the
// whole text once at most (a jump, an IF that looks for its line's end): a few milliseconds.
constexpr std::uint64_t kBytesPerTimedSlice = std::uint64_t{1} << 22;
constexpr std::uint64_t kTimedSliceMax = std::uint64_t{1} << 16;

// The bits of a stop request: the host's, and the time limit's, which the output function
// raises when the time is up in the middle of a slice.
constexpr int kStopAsked = 1;
constexpr int kTimeUp = 2;

using Clock = std::chrono::steady_clock;

}  // namespace

struct linebasic_machine {
  std::string text;                    // the program, copied at load
  std::vector<std::int32_t> numberOf;  // by text line - 1: the line's number, -1 when none
  std::set<std::int32_t> textBreakpoints;
  linebasic::Interpreter interpreter;
  RunControl control{interpreter};
  std::atomic<int> stopRequest{0};
  bool loaded = false;
  std::uint64_t statementsAtStart = 0;  // the interpreter's count at load or restart
  std::uint32_t timeLimitMs = 0;
  std::optional<Clock::time_point> deadline;  // of the run going on, with a time limit
  bool timeUp = false;                        // the run going on passed its deadline
  std::size_t textLimit = kDefaultTextLimit;
  linebasic_write_fn write = nullptr;
  void* writeContext = nullptr;
  std::string error;
  std::string answer;  // the last text handed back

  linebasic_machine() {
    control.setStopRequest(&stopRequest);
    interpreter.output = {[](void* context, std::string_view text) {
                            static_cast<linebasic_machine*>(context)->print(text);
                          },
                          this};
  }

  // Writes what the program prints; an output function may take its time, so with a time
  // limit the clock is read after each piece.
  void print(std::string_view text) {
    if (write == nullptr) {
      std::fwrite(text.data(), 1, text.size(), stdout);
    } else {
      write(writeContext, text.data(), text.size());
    }
    if (deadline && Clock::now() >= *deadline) passDeadline();
  }

  void passDeadline() {
    timeUp = true;
    stopRequest.fetch_or(kTimeUp);
  }

  linebasic_status fail(linebasic_status status, std::string message) {
    error = std::move(message);
    return status;
  }
};

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "a stop request must be signal-safe");

// Runs `call`, which may need memory (a copy of a text, the line index of a first stop, a
// breakpoint's place), and returns what `outOfMemory` returns when there is none: no exception
// leaves the library. Built without exceptions (as for the playground), running out of memory
// ends the process instead.
template <typename Call, typename OutOfMemory>
auto sheltered(Call call, OutOfMemory outOfMemory) -> decltype(call()) {
#ifdef __cpp_exceptions
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return outOfMemory();
  }
#else
  static_cast<void>(outOfMemory);
  return call();
#endif
}

// Hands `diagnostic` to a host's `report`, with its fix when it has one.
void reportWarning(const linebasic::Diagnostic& diagnostic, linebasic_warning_fn report,
                   void* context) {
  const std::string name(diagnostic.name);
  const auto& fix = diagnostic.fix;
  const linebasic_warning warning{diagnostic.line,
                                  diagnostic.column,
                                  name.c_str(),
                                  diagnostic.message.c_str(),
                                  fix ? fix->replacement.c_str() : nullptr,
                                  fix ? fix->offset : 0,
                                  fix ? fix->length : 0};
  report(context, &warning);
}

template <typename Call>
linebasic_status guarded(linebasic_machine* machine, Call call) {
  return sheltered(call, [machine] { return machine->fail(LINEBASIC_NO_MEMORY, "out of memory"); });
}

// The number of each text line, as a run meets it: a Number token at the start of its line
// (a line a literal runs on over starts with none).
std::vector<std::int32_t> lineNumbers(const std::string& text) {
  const bool lastEnded = !text.empty() && text.back() == '\n';  // no line follows its line-feed
  std::vector<std::int32_t> numbers(
      std::count(text.begin(), text.end(), '\n') + (lastEnded ? 0 : 1), -1);
  linebasic::Interpreter probe;
  probe.load(text.c_str());
  const char* counted = probe.programText;
  std::size_t line = 0;
  while (*probe.tokenStart != '\0' && probe.token != linebasic::TokenKind::EndOfText) {
    line += static_cast<std::size_t>(std::count(counted, probe.tokenStart, '\n'));
    counted = probe.tokenStart;
    if (const auto number = linebasic::lineNumberAt(probe)) numbers[line] = *number;
    probe.advance();
  }
  return numbers;
}

void placeBreakpoints(linebasic_machine& machine) {
  machine.control.clearBreakpoints();
  for (const std::int32_t line : machine.textBreakpoints)
    machine.control.setBreakpoint(line);
}

// Sets a new run at the top of the loaded text; with `zeroed`, every variable 0.
void startRun(linebasic_machine& machine, bool zeroed) {
  if (zeroed) machine.interpreter.variables.fill(0);
  machine.control.start(machine.text.c_str());
  // Where the run stands is asked at every run's start; its index of lines is made here, so
  // that a time limit counts none of it.
  static_cast<void>(machine.control.line());
  placeBreakpoints(machine);
  machine.stopRequest.store(0);
  machine.statementsAtStart = machine.interpreter.statementCount;
}

linebasic_status load(linebasic_machine* machine, const char* text, std::size_t length,
                      bool zeroed) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (text == nullptr && length != 0) {
    return machine->fail(LINEBASIC_BAD_ARGUMENT, "linebasic_load: the text is NULL");
  }
  if (length > machine->textLimit) {
    return machine->fail(LINEBASIC_TOO_LARGE, "linebasic_load: the text is " +
                                                  std::to_string(length) +
                                                  " bytes, more than the limit of " +
                                                  std::to_string(machine->textLimit));
  }
  return guarded(machine, [&] {
    std::string copy(text == nullptr ? "" : text, length);
    copy.resize(std::strlen(copy.c_str()));  // a run ends at a NUL byte
    std::vector<std::int32_t> numbers = lineNumbers(copy);
    machine->text = std::move(copy);
    machine->numberOf = std::move(numbers);
    machine->textBreakpoints.clear();
    machine->loaded = true;
    startRun(*machine, zeroed);
    return LINEBASIC_OK;
  });
}

linebasic_status toStatus(StopReason reason) {
  switch (reason) {
    case StopReason::Ended:
      return LINEBASIC_ENDED;
    case StopReason::Breakpoint:
      return LINEBASIC_BREAKPOINT;
    case StopReason::Stepped:
      return LINEBASIC_STEPPED;
    case StopReason::StepBound:
      return LINEBASIC_STEP_BOUND;
    case StopReason::Watched:
      return LINEBASIC_WATCHED;
    case StopReason::Interrupted:
      break;
  }
  return LINEBASIC_INTERRUPTED;
}

// The steps of one slice: all that is left, or with a time limit as many as keep a slice short.
std::uint64_t sliceOf(const linebasic_machine& machine, std::uint64_t left) {
  std::uint64_t slice = kSliceMax;
  if (machine.deadline) {
    slice = std::clamp<std::uint64_t>(kBytesPerTimedSlice / (machine.text.size() + 1), 1,
                                      kTimedSliceMax);
  }
  return std::min(slice, left);
}

// Runs in slices until a stop other than a slice's end, the bound or the time limit.
StopReason runSlices(linebasic_machine& machine, std::uint64_t maxSteps) {
  RunControl& control = machine.control;
  std::uint64_t left = maxSteps;
  for (;;) {
    const std::uint64_t before = control.statements();
    const StopReason reason = control.resume(sliceOf(machine, left));
    left -= control.statements() - before;
    if (reason != StopReason::StepBound || left == 0) return reason;
    if (machine.deadline && Clock::now() >= *machine.deadline) {
      machine.timeUp = true;
      return StopReason::Interrupted;
    }
  }
}

// A step is not cut in slices (a slice's end would make the next slice a new step), so a
// step's time is bounded by the output function and its bound on steps alone.
linebasic_status goOn(linebasic_machine* machine, std::uint64_t maxSteps, bool stepping) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!machine->loaded) {
    return machine->fail(LINEBASIC_NO_PROGRAM, "no program is loaded: call linebasic_load first");
  }
  // An ended run is left as it is, so that where it ended stays known.
  if (machine->interpreter.isDone()) return LINEBASIC_ENDED;
  if (machine->timeLimitMs != 0) {
    machine->deadline = Clock::now() + std::chrono::milliseconds(machine->timeLimitMs);
  }
  machine->timeUp = false;
  const StopReason reason =
      stepping ? machine->control.step(maxSteps) : runSlices(*machine, maxSteps);
  machine->deadline.reset();
  // The time limit's request, raised by the output function as the run ended another way, is
  // not left for the next run; a stop for it is the time bound's.
  machine->stopRequest.fetch_and(~kTimeUp);
  if (reason == StopReason::Interrupted && machine->timeUp) return LINEBASIC_TIME_BOUND;
  return toStatus(reason);
}

// The text line, from 1, that holds `at`.
std::int32_t textLineOf(const std::string& text, const char* at) {
  return 1 + static_cast<std::int32_t>(std::count(text.c_str(), at, '\n'));
}

linebasic_status setTextBreakpoint(linebasic_machine* machine, std::int32_t line) {
  machine->textBreakpoints.insert(line);
  machine->control.setBreakpoint(line);
  return LINEBASIC_OK;
}

}  // namespace

extern "C" {

const char* linebasic_version(void) {
  return LINEBASIC_VERSION;
}

linebasic_machine* linebasic_new(void) {
  return sheltered([] { return new linebasic_machine; },
                   []() -> linebasic_machine* { return nullptr; });
}

void linebasic_delete(linebasic_machine* machine) {
  delete machine;
}

const char* linebasic_error_message(const linebasic_machine* machine) {
  return machine == nullptr ? "the machine is NULL" : machine->error.c_str();
}

linebasic_status linebasic_load(linebasic_machine* machine, const char* text, size_t length) {
  return load(machine, text, length, true);
}

linebasic_status linebasic_load_keeping_variables(linebasic_machine* machine, const char* text,
                                                  size_t length) {
  return load(machine, text, length, false);
}

linebasic_status linebasic_restart(linebasic_machine* machine) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!machine->loaded) {
    return machine->fail(LINEBASIC_NO_PROGRAM, "no program is loaded: call linebasic_load first");
  }
  return guarded(machine, [&] {
    startRun(*machine, true);
    return LINEBASIC_OK;
  });
}

void linebasic_set_output(linebasic_machine* machine, linebasic_write_fn write, void* context) {
  if (machine == nullptr) return;
  machine->write = write;
  machine->writeContext = context;
}

void linebasic_set_time_limit(linebasic_machine* machine, uint32_t milliseconds) {
  if (machine != nullptr) machine->timeLimitMs = milliseconds;
}

void linebasic_set_text_limit(linebasic_machine* machine, size_t bytes) {
  if (machine != nullptr) machine->textLimit = bytes;
}

linebasic_status linebasic_run(linebasic_machine* machine, uint64_t max_steps) {
  return guarded(machine, [&] { return goOn(machine, max_steps, false); });
}

linebasic_status linebasic_step(linebasic_machine* machine, uint64_t max_steps) {
  return guarded(machine, [&] { return goOn(machine, max_steps, true); });
}

void linebasic_request_stop(linebasic_machine* machine) {
  if (machine != nullptr) machine->stopRequest.fetch_or(kStopAsked);
}

void linebasic_cancel_stop(linebasic_machine* machine) {
  if (machine != nullptr) machine->stopRequest.fetch_and(~kStopAsked);
}

linebasic_status linebasic_where(linebasic_machine* machine, linebasic_place* place) {
  if (machine == nullptr || place == nullptr) return LINEBASIC_BAD_ARGUMENT;
  *place = {-1, 0};
  if (!machine->loaded) {
    return machine->fail(LINEBASIC_NO_PROGRAM, "no program is loaded: call linebasic_load first");
  }
  return guarded(machine, [&] {
    std::int32_t line = 0;
    linebasic_status status = LINEBASIC_OK;
    if (const std::optional<int> standing = machine->control.line()) {
      line = *standing;
    } else {
      status = LINEBASIC_ENDED;
      const char* const ending = machine->control.endingStatement();
      if (ending == nullptr) return status;
      line = textLineOf(machine->text, ending);
    }
    *place = {machine->numberOf[static_cast<std::size_t>(line - 1)], line};
    return status;
  });
}

const char* linebasic_missed_jump(linebasic_machine* machine) {
  if (machine == nullptr) return "";
  machine->answer.clear();
  if (!machine->loaded || !machine->interpreter.isDone() || machine->interpreter.endReached != 0) {
    return "";
  }
  const char* const ending = machine->control.endingStatement();
  if (ending == nullptr) return "";
  guarded(machine, [&] {
    machine->answer = linebasic::missedJump(machine->text.c_str(), ending);
    return LINEBASIC_OK;
  });
  return machine->answer.c_str();
}

uint64_t linebasic_steps(const linebasic_machine* machine) {
  return machine == nullptr ? 0 : machine->control.statements();
}

uint64_t linebasic_statements(const linebasic_machine* machine) {
  return machine == nullptr ? 0 : machine->interpreter.statementCount - machine->statementsAtStart;
}

linebasic_status linebasic_set_breakpoint(linebasic_machine* machine, int32_t number) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  bool found = false;
  const linebasic_status status = guarded(machine, [&] {
    for (std::size_t line = 0; line < machine->numberOf.size(); ++line) {
      if (machine->numberOf[line] != number) continue;
      setTextBreakpoint(machine, static_cast<std::int32_t>(line + 1));
      found = true;
    }
    return LINEBASIC_OK;
  });
  if (found || status != LINEBASIC_OK) return status;
  return machine->fail(LINEBASIC_BAD_ARGUMENT,
                       "no line is numbered " + std::to_string(number) + ": no run stops there");
}

linebasic_status linebasic_clear_breakpoint(linebasic_machine* machine, int32_t number) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  bool found = false;
  for (std::size_t line = 0; line < machine->numberOf.size(); ++line) {
    if (machine->numberOf[line] != number) continue;
    const auto textLine = static_cast<std::int32_t>(line + 1);
    found = machine->textBreakpoints.erase(textLine) != 0 || found;
    machine->control.clearBreakpoint(textLine);
  }
  if (found) return LINEBASIC_OK;
  return machine->fail(LINEBASIC_BAD_ARGUMENT,
                       "no breakpoint is set at line " + std::to_string(number));
}

linebasic_status linebasic_set_text_breakpoint(linebasic_machine* machine, int32_t text_line) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (text_line < 1 || static_cast<std::size_t>(text_line) > machine->numberOf.size() ||
      !machine->loaded) {
    return machine->fail(LINEBASIC_BAD_ARGUMENT,
                         "the program has no text line " + std::to_string(text_line));
  }
  return guarded(machine, [&] { return setTextBreakpoint(machine, text_line); });
}

linebasic_status linebasic_clear_text_breakpoint(linebasic_machine* machine, int32_t text_line) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (machine->textBreakpoints.erase(text_line) == 0) {
    return machine->fail(LINEBASIC_BAD_ARGUMENT,
                         "no breakpoint is set at text line " + std::to_string(text_line));
  }
  machine->control.clearBreakpoint(text_line);
  return LINEBASIC_OK;
}

void linebasic_clear_breakpoints(linebasic_machine* machine) {
  if (machine == nullptr) return;
  machine->textBreakpoints.clear();
  machine->control.clearBreakpoints();
}

int32_t linebasic_get_variable(const linebasic_machine* machine, char name) {
  return machine == nullptr ? 0 : machine->interpreter.variableValue(name);
}

linebasic_status linebasic_set_variable(linebasic_machine* machine, char name, int32_t value) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!linebasic::isLower(name)) {
    return machine->fail(LINEBASIC_BAD_ARGUMENT, "a variable is named by a letter from a to z");
  }
  machine->interpreter.storeVariable(name, value);
  if (!machine->loaded) return LINEBASIC_OK;
  return guarded(machine, [&] {
    machine->control.noteHostEdit();  // part of the run's past from here on
    return LINEBASIC_OK;
  });
}

linebasic_status linebasic_back(linebasic_machine* machine, uint64_t lines, uint64_t* undone) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!machine->loaded) {
    return machine->fail(LINEBASIC_NO_PROGRAM, "no program is loaded: call linebasic_load first");
  }
  return guarded(machine, [&] {
    const std::uint64_t back = machine->control.back(lines);
    if (undone != nullptr) *undone = back;
    return LINEBASIC_STEPPED;
  });
}

linebasic_status linebasic_back_to_breakpoint(linebasic_machine* machine) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!machine->loaded) {
    return machine->fail(LINEBASIC_NO_PROGRAM, "no program is loaded: call linebasic_load first");
  }
  return guarded(machine, [&] { return toStatus(machine->control.backToStop()); });
}

namespace {

linebasic_status loadedOrFail(linebasic_machine* machine) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!machine->loaded) {
    return machine->fail(LINEBASIC_NO_PROGRAM, "no program is loaded: call linebasic_load first");
  }
  return LINEBASIC_OK;
}

linebasic_status byDepth(linebasic_machine* machine, uint64_t maxSteps, bool out) {
  if (const linebasic_status status = loadedOrFail(machine); status != LINEBASIC_OK) return status;
  if (machine->interpreter.isDone()) return LINEBASIC_ENDED;
  return guarded(machine, [&] {
    return toStatus(out ? machine->control.out(maxSteps) : machine->control.over(maxSteps));
  });
}

}  // namespace

linebasic_status linebasic_over(linebasic_machine* machine, uint64_t max_steps) {
  return byDepth(machine, max_steps, false);
}

linebasic_status linebasic_out(linebasic_machine* machine, uint64_t max_steps) {
  return byDepth(machine, max_steps, true);
}

linebasic_status linebasic_watch(linebasic_machine* machine, char name) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!linebasic::isLower(name)) {
    return machine->fail(LINEBASIC_BAD_ARGUMENT, "a variable is named by a letter from a to z");
  }
  return guarded(machine, [&] {
    machine->control.watch(name);
    return LINEBASIC_OK;
  });
}

linebasic_status linebasic_unwatch(linebasic_machine* machine, char name) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  if (!machine->control.unwatch(name)) {
    return machine->fail(LINEBASIC_BAD_ARGUMENT, "that variable is not watched");
  }
  return LINEBASIC_OK;
}

linebasic_status linebasic_watch_hit_of(const linebasic_machine* machine,
                                        linebasic_watch_hit* hit) {
  if (machine == nullptr || hit == nullptr) return LINEBASIC_BAD_ARGUMENT;
  const std::optional<linebasic::WatchHit>& watched = machine->control.watchHit();
  if (!watched) return LINEBASIC_BAD_ARGUMENT;
  *hit = {watched->name, watched->before, watched->after, watched->line};
  return LINEBASIC_OK;
}

linebasic_status linebasic_set_condition(linebasic_machine* machine, int32_t text_line,
                                         const char* condition) {
  if (machine == nullptr) return LINEBASIC_BAD_ARGUMENT;
  return guarded(machine, [&] {
    machine->control.setCondition(text_line, condition == nullptr ? "" : condition);
    return LINEBASIC_OK;
  });
}

linebasic_status linebasic_evaluate(const linebasic_machine* machine, const char* expression,
                                    int32_t* value) {
  if (machine == nullptr || expression == nullptr || value == nullptr)
    return LINEBASIC_BAD_ARGUMENT;
  return sheltered(
      [&] {
        *value = machine->control.evaluate(expression);
        return LINEBASIC_OK;
      },
      [] { return LINEBASIC_NO_MEMORY; });
}

long linebasic_stack(const linebasic_machine* machine, linebasic_frame_fn report, void* context) {
  if (machine == nullptr || !machine->loaded) return 0;
  return sheltered(
      [&] {
        const std::vector<linebasic::Frame> frames = machine->control.stack();
        for (const linebasic::Frame& frame : frames) {
          const linebasic_frame shown{frame.isGosub ? 1 : 0, frame.line, frame.variable,
                                      frame.limit};
          if (report != nullptr) report(context, &shown);
        }
        return static_cast<long>(frames.size());
      },
      [] { return -1L; });
}

linebasic_status linebasic_go_to_step(linebasic_machine* machine, uint64_t steps) {
  if (const linebasic_status status = loadedOrFail(machine); status != LINEBASIC_OK) return status;
  return guarded(machine, [&] {
    machine->control.goToStep(steps);
    return LINEBASIC_STEPPED;
  });
}

uint64_t linebasic_printed(const linebasic_machine* machine) {
  return machine == nullptr ? 0 : machine->control.printed();
}

long linebasic_check(const char* text, size_t length, linebasic_warning_fn report, void* context) {
  if (text == nullptr && length != 0) return -1;
  const auto check = [&] {
    const std::vector<linebasic::Diagnostic> diagnostics = linebasic::checkProgram(
        text == nullptr ? std::string_view() : std::string_view(text, length));
    if (report != nullptr) {
      for (const linebasic::Diagnostic& diagnostic : diagnostics) {
        reportWarning(diagnostic, report, context);
      }
    }
    return static_cast<long>(diagnostics.size());
  };
  return sheltered(check, [] { return -1L; });
}

long linebasic_fix(const char* text, size_t length, linebasic_write_fn write,
                   linebasic_warning_fn report, void* context) {
  if ((text == nullptr && length != 0) || write == nullptr) return -1;
  const auto fix = [&] {
    const linebasic::Fixed fixed = linebasic::applyFixes(
        text == nullptr ? std::string_view() : std::string_view(text, length));
    write(context, fixed.text.data(), fixed.text.size());
    if (report != nullptr) {
      for (const linebasic::Diagnostic& diagnostic : fixed.applied)
        reportWarning(diagnostic, report, context);
    }
    return static_cast<long>(fixed.applied.size());
  };
  return sheltered(fix, [] { return -1L; });
}

linebasic_status linebasic_renumber(const char* text, size_t length, int32_t start, int32_t step,
                                    int32_t first, int32_t last, linebasic_write_fn write,
                                    linebasic_refusal_fn refused, void* context) {
  if ((text == nullptr && length != 0) || write == nullptr) return LINEBASIC_BAD_ARGUMENT;
  const auto renumber = [&] {
    const linebasic::Renumbered renumbered =
        linebasic::renumber(text == nullptr ? std::string_view() : std::string_view(text, length),
                            {start, step, first, last});
    if (const auto& refusal = renumbered.refusal) {
      const linebasic_refusal told{refusal->textLine, refusal->column, refusal->message.c_str()};
      if (refused != nullptr) refused(context, &told);
      return LINEBASIC_REFUSED;
    }
    write(context, renumbered.text.data(), renumbered.text.size());
    return LINEBASIC_OK;
  };
  return sheltered(renumber, [] { return LINEBASIC_NO_MEMORY; });
}

}  // extern "C"

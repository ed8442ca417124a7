// linebasic for C++: the C API of linebasic.h behind a movable machine that frees itself,
// std::string_view in, std::string out, failures as exceptions. Everything here is inline over
// the C functions, so no C++ type crosses the library's boundary: a host may use any standard
// library settings (-D_GLIBCXX_DEBUG included) and any standard from C++17 on (the CMake
// package asks for C++20, which the library's own sources need; this header does not).
#ifndef LINEBASIC_LINEBASIC_HPP
#define LINEBASIC_LINEBASIC_HPP

#if __cplusplus < 201703L
#error "linebasic.hpp needs C++17 or newer (-std=c++17); linebasic.h serves C and older C++"
#endif

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "linebasic/linebasic.h"

namespace linebasic {

// How a run or step stopped.
enum class Status {
  Ended = LINEBASIC_ENDED,
  Breakpoint = LINEBASIC_BREAKPOINT,
  Stepped = LINEBASIC_STEPPED,
  StepBound = LINEBASIC_STEP_BOUND,
  Interrupted = LINEBASIC_INTERRUPTED,
  TimeBound = LINEBASIC_TIME_BOUND,
};

inline constexpr std::uint64_t kUnbounded = LINEBASIC_UNBOUNDED;

// A call that failed: its status (linebasic_status) and the library's message.
class Error : public std::runtime_error {
 public:
  Error(linebasic_status status, const char* message)
      : std::runtime_error(message), status_(status) {}
  [[nodiscard]] linebasic_status status() const noexcept { return status_; }

 private:
  linebasic_status status_;
};

// Where a run stands: its line's number (-1 when the line starts with none) and its text line
// (from 1; 0 when the run ended before any statement ran).
struct Place {
  int number = -1;
  int textLine = 0;
};

// One program and one run of it. A machine moved from holds none: its calls fail with
// LINEBASIC_BAD_ARGUMENT ("the machine is NULL") until another is assigned to it.
class Machine {
 public:
  Machine() : handle_(linebasic_new()), output_(std::make_unique<Output>()) {
    if (handle_ == nullptr) throw std::bad_alloc();
    output_->machine = handle_;
  }
  Machine(Machine&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)), output_(std::move(other.output_)) {}
  Machine& operator=(Machine&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(output_, other.output_);
    return *this;
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;
  ~Machine() { linebasic_delete(handle_); }

  // The text becomes the program (copied) and a new run starts at its top, every variable 0.
  void load(std::string_view text) { check(linebasic_load(handle_, text.data(), text.size())); }
  void loadKeepingVariables(std::string_view text) {
    check(linebasic_load_keeping_variables(handle_, text.data(), text.size()));
  }
  void restart() { check(linebasic_restart(handle_)); }

  // What the program prints goes to `write` (standard output when empty). An exception it
  // throws stops the run and comes out of the run or step that called it.
  void setOutput(std::function<void(std::string_view)> write) {
    if (output_ == nullptr) output_ = std::make_unique<Output>();  // moved from before
    output_->machine = handle_;
    output_->write = std::move(write);
    if (output_->write) {
      linebasic_set_output(handle_, &Output::forward, output_.get());
    } else {
      linebasic_set_output(handle_, nullptr, nullptr);
    }
  }

  void setTimeLimit(std::uint32_t milliseconds) noexcept {
    linebasic_set_time_limit(handle_, milliseconds);
  }
  void setTextLimit(std::size_t bytes) noexcept { linebasic_set_text_limit(handle_, bytes); }

  Status run(std::uint64_t maxSteps = kUnbounded) { return ran(linebasic_run(handle_, maxSteps)); }
  Status step(std::uint64_t maxSteps = kUnbounded) {
    return ran(linebasic_step(handle_, maxSteps));
  }
  // Back in time: how many lines were undone (fewer at the start of the run).
  std::uint64_t back(std::uint64_t lines = 1) {
    std::uint64_t undone = 0;
    check(linebasic_back(handle_, lines, &undone), LINEBASIC_STEPPED);
    return undone;
  }
  // True at a breakpoint, false at the start of the run.
  bool backToBreakpoint() {
    const linebasic_status status = linebasic_back_to_breakpoint(handle_);
    check(status, status == LINEBASIC_BREAKPOINT ? LINEBASIC_BREAKPOINT : LINEBASIC_STEPPED);
    return status == LINEBASIC_BREAKPOINT;
  }
  [[nodiscard]] std::uint64_t printed() const noexcept { return linebasic_printed(handle_); }
  // From any thread or a signal handler.
  void requestStop() noexcept { linebasic_request_stop(handle_); }
  void cancelStop() noexcept { linebasic_cancel_stop(handle_); }

  [[nodiscard]] Place where() const {
    linebasic_place place{};
    check(linebasic_where(handle_, &place), LINEBASIC_ENDED);
    return {place.number, place.text_line};
  }
  [[nodiscard]] bool ended() const {
    linebasic_place place{};
    return linebasic_where(handle_, &place) == LINEBASIC_ENDED;
  }
  // "no line is numbered 75" when the run ended at a jump to a line that is not there.
  [[nodiscard]] std::string missedJump() const { return linebasic_missed_jump(handle_); }
  [[nodiscard]] std::uint64_t steps() const noexcept { return linebasic_steps(handle_); }
  [[nodiscard]] std::uint64_t statements() const noexcept { return linebasic_statements(handle_); }

  void setBreakpoint(int number) { check(linebasic_set_breakpoint(handle_, number)); }
  void setTextBreakpoint(int textLine) { check(linebasic_set_text_breakpoint(handle_, textLine)); }
  // False when there was no such breakpoint.
  bool clearBreakpoint(int number) noexcept {
    return linebasic_clear_breakpoint(handle_, number) == LINEBASIC_OK;
  }
  bool clearTextBreakpoint(int textLine) noexcept {
    return linebasic_clear_text_breakpoint(handle_, textLine) == LINEBASIC_OK;
  }
  void clearBreakpoints() noexcept { linebasic_clear_breakpoints(handle_); }

  [[nodiscard]] int variable(char name) const noexcept {
    return linebasic_get_variable(handle_, name);
  }
  void setVariable(char name, int value) { check(linebasic_set_variable(handle_, name, value)); }

  // For the C functions this class does not wrap.
  [[nodiscard]] linebasic_machine* handle() const noexcept { return handle_; }

 private:
  // Kept on the heap, so that a moved machine's callback context stays where it was.
  struct Output {
    std::function<void(std::string_view)> write;
    std::exception_ptr thrown;
    linebasic_machine* machine = nullptr;

    static void forward(void* context, const char* text, std::size_t length) {
      auto* self = static_cast<Output*>(context);
      if (self->thrown) return;
      try {
        self->write(std::string_view(text, length));
      } catch (...) {
        self->thrown = std::current_exception();
        linebasic_request_stop(self->machine);
      }
    }
  };

  void check(linebasic_status status, linebasic_status alsoFine = LINEBASIC_OK) const {
    if (status != LINEBASIC_OK && status != alsoFine) {
      throw Error(status, linebasic_error_message(handle_));
    }
  }

  // An output function that threw stops the run at once, and its exception comes out here;
  // its request to stop is not left for the next run.
  Status ran(linebasic_status status) {
    if (output_ != nullptr && output_->thrown) {
      linebasic_cancel_stop(handle_);
      std::rethrow_exception(std::exchange(output_->thrown, nullptr));
    }
    if (status < 0) check(status);
    return static_cast<Status>(status);
  }

  linebasic_machine* handle_;
  std::unique_ptr<Output> output_;
};

// One warning of the checker, and its advice as an edit of the text where it has one meaning.
struct Warning {
  // Writes `text` in place of the `length` bytes from `offset` (0 inserts).
  struct Fix {
    std::size_t offset;
    std::size_t length;
    std::string text;
  };
  int textLine;
  int column;  // from 1, in bytes
  std::string name;
  std::string message;
  std::optional<Fix> fix;
};

namespace detail {
inline void appendWarning(void* context, const linebasic_warning* warning) {
  std::optional<Warning::Fix> fix;
  if (warning->fix_text != nullptr)
    fix = Warning::Fix{warning->fix_offset, warning->fix_length, warning->fix_text};
  static_cast<std::vector<Warning>*>(context)->push_back(
      {warning->text_line, warning->column, warning->name, warning->message, std::move(fix)});
}
}  // namespace detail

// The checker's warnings on `text`, in text order.
inline std::vector<Warning> warningsOf(std::string_view text) {
  std::vector<Warning> warnings;
  if (linebasic_check(text.data(), text.size(), &detail::appendWarning, &warnings) < 0)
    throw std::bad_alloc();
  return warnings;
}

// `text` with the fix of every warning applied, and the warnings so mended.
struct Fixing {
  std::string text;
  std::vector<Warning> applied;
};

inline Fixing fixed(std::string_view text) {
  struct Both {
    Fixing fixing;
    static void write(void* context, const char* piece, std::size_t length) {
      static_cast<Both*>(context)->fixing.text.append(piece, length);
    }
    static void report(void* context, const linebasic_warning* warning) {
      detail::appendWarning(&static_cast<Both*>(context)->fixing.applied, warning);
    }
  } both;
  if (linebasic_fix(text.data(), text.size(), &Both::write, &Both::report, &both) < 0)
    throw std::bad_alloc();
  return std::move(both.fixing);
}

// A renumbered text, or why renumbering refused (and no text).
struct Renumbering {
  std::string text;
  bool refused = false;
  int textLine = 0;  // where the refusal points: 0 when the numbers asked for are out of range
  int column = 0;
  std::string message;
};

// `text` with the lines numbered first..last renumbered from `start` by `step`, and the jumps
// to them rewritten; see linebasic_renumber.
inline Renumbering renumbered(std::string_view text, int start = 10, int step = 10, int first = 0,
                              int last = 9999) {
  Renumbering renumbering;
  const auto refused = [](void* context, const linebasic_refusal* refusal) {
    auto* told = static_cast<Renumbering*>(context);
    told->refused = true;
    told->textLine = refusal->text_line;
    told->column = refusal->column;
    told->message = refusal->message;
  };
  const auto write = [](void* context, const char* piece, std::size_t length) {
    static_cast<Renumbering*>(context)->text.append(piece, length);
  };
  const linebasic_status status = linebasic_renumber(text.data(), text.size(), start, step, first,
                                                     last, write, refused, &renumbering);
  if (status == LINEBASIC_NO_MEMORY) throw std::bad_alloc();
  return renumbering;
}

// How a run of run() below went: what it printed, how it stopped and where.
struct Outcome {
  std::string output;
  Status status = Status::Ended;
  Place place;  // where it stopped, or the line of the statement that ended it
  std::uint64_t steps = 0;
};

struct Limits {
  std::uint64_t maxSteps = kUnbounded;
  std::uint32_t milliseconds = 0;  // 0: no time limit
};

// Runs `text` on a machine of its own, within `limits`.
inline Outcome run(std::string_view text, Limits limits = {}) {
  Machine machine;
  Outcome outcome;
  machine.setOutput([&outcome](std::string_view piece) { outcome.output.append(piece); });
  machine.setTimeLimit(limits.milliseconds);
  machine.load(text);
  outcome.status = machine.run(limits.maxSteps);
  outcome.place = machine.where();
  outcome.steps = machine.steps();
  return outcome;
}

}  // namespace linebasic

#endif  // LINEBASIC_LINEBASIC_HPP

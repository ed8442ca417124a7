// The playground's engine: the library's C API, as any host uses it, behind the few exports
// the page calls through WebAssembly. WebAssembly passes only numbers, so texts cross through
// two buffers here: the page writes a program text into the input buffer, and reads each text
// handed back at its address with answerLength. What a run prints collects here until the page
// takes it; between slices the page reads where the run stands, its variables and stack, sets
// breakpoints, conditions, watches and variables, and takes the run back in time. The checker,
// its fixes and renumbering read the input too, and so do a breakpoint's condition and an
// expression to evaluate.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "app/demo_program.h"
#include "linebasic/linebasic.h"

#define LINEBASIC_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

struct Engine {
  linebasic_machine* machine = linebasic_new();
  std::string input;    // the text the page wrote last
  std::string printed;  // what the run printed since the page last took it
  std::string answer;   // the last text handed back to the page
  std::array<std::int8_t, 26> variables{};

  Engine() {
    linebasic_set_output(
        machine,
        [](void* context, const char* text, std::size_t length) {
          static_cast<std::string*>(context)->append(text, length);
        },
        &printed);
    // The page bounds what it keeps by its own rules; every text it runs is taken.
    linebasic_set_text_limit(machine, SIZE_MAX);
  }
};

Engine& engine() {
  static Engine instance;
  return instance;
}

// Hands `text` back to the page: its address, and its length through answerLength.
const char* answer(std::string text) {
  engine().answer = std::move(text);
  return engine().answer.c_str();
}

// A fix's text as one field of a line: a backslash, tab or line-feed is written \\, \t or \n.
std::string escaped(std::string_view text) {
  std::string written;
  for (const char c : text) {
    if (c == '\\' || c == '\t' || c == '\n') written += '\\';
    written += c == '\t' ? 't' : c == '\n' ? 'n' : c;
  }
  return written;
}

// A linebasic_write_fn that keeps the text it is handed in the std::string `context`.
void keepText(void* context, const char* text, std::size_t length) {
  static_cast<std::string*>(context)->assign(text, length);
}

linebasic_place where() {
  linebasic_place place{-1, 0};
  linebasic_where(engine().machine, &place);
  return place;
}

}  // namespace

// Room for `size` bytes of text, which the page then writes.
LINEBASIC_EXPORT(inputBuffer) char* inputBuffer(std::uint32_t size) {
  engine().input.assign(size, '\0');
  return engine().input.data();
}

// Makes the input the program and sets a run at its top, with every variable 0 and no
// breakpoints. Like any run, it ends at a NUL byte.
LINEBASIC_EXPORT(loadProgram) void loadProgram() {
  Engine& state = engine();
  linebasic_load(state.machine, state.input.data(), state.input.size());
  state.printed.clear();
}

// Breakpoints are on lines of the text, counted from 1.
LINEBASIC_EXPORT(setBreakpoint) void setBreakpoint(std::int32_t line) {
  linebasic_set_text_breakpoint(engine().machine, line);
}

LINEBASIC_EXPORT(clearBreakpoints) void clearBreakpoints() {
  linebasic_clear_breakpoints(engine().machine);
}

// The breakpoint on text line `line` stops only where the input, an expression, is not 0
// (an empty input: always).
LINEBASIC_EXPORT(setCondition) void setCondition(std::int32_t line) {
  linebasic_set_condition(engine().machine, line, engine().input.c_str());
}

// Runs until a breakpoint, the end or `bound` steps (resume), until the run reaches the next
// line (step), the next line at the same depth of GOSUBs (over) or the line after the current
// subroutine's RETURN (out). Returns why it stopped: 0 ended, 1 breakpoint, 2 stepped, 3 bound,
// 7 a watched variable changed.
LINEBASIC_EXPORT(resume) std::int32_t resume(std::uint32_t bound) {
  return linebasic_run(engine().machine, bound);
}

LINEBASIC_EXPORT(step) std::int32_t step(std::uint32_t bound) {
  return linebasic_step(engine().machine, bound);
}

LINEBASIC_EXPORT(over) std::int32_t over(std::uint32_t bound) {
  return linebasic_over(engine().machine, bound);
}

LINEBASIC_EXPORT(out) std::int32_t out(std::uint32_t bound) {
  return linebasic_out(engine().machine, bound);
}

// Back in time: undoes the last `lines` lines and returns how many it undid.
LINEBASIC_EXPORT(back) std::uint32_t back(std::uint32_t lines) {
  std::uint64_t undone = 0;
  linebasic_back(engine().machine, lines, &undone);
  return static_cast<std::uint32_t>(undone);
}

// Back to the last breakpoint (1) or watch (7) the run met, or to its start (2).
LINEBASIC_EXPORT(backToBreakpoint) std::int32_t backToBreakpoint() {
  return linebasic_back_to_breakpoint(engine().machine);
}

// The run stands where it stood after `steps` steps (the count statements gives).
LINEBASIC_EXPORT(goToStep) void goToStep(double steps) {
  linebasic_go_to_step(engine().machine, static_cast<std::uint64_t>(steps));
}

// The bytes printed from the run's start up to where it stands.
LINEBASIC_EXPORT(printed) double printed() {
  return static_cast<double>(linebasic_printed(engine().machine));
}

// Whether the run has ended where it stands.
LINEBASIC_EXPORT(ended) std::int32_t ended() {
  linebasic_place place{};
  return linebasic_where(engine().machine, &place) == LINEBASIC_ENDED ? 1 : 0;
}

// Variable `index` (0 for a) set while the run is stopped; watched or not.
LINEBASIC_EXPORT(setVariable) void setVariable(std::int32_t index, std::int32_t value) {
  linebasic_set_variable(engine().machine, static_cast<char>('a' + index), value);
}

LINEBASIC_EXPORT(watch) void watch(std::int32_t index, std::int32_t on) {
  const char name = static_cast<char>('a' + index);
  if (on != 0) {
    linebasic_watch(engine().machine, name);
  } else {
    linebasic_unwatch(engine().machine, name);
  }
}

// After a stop at a watch: NAME, BEFORE, AFTER and the TEXT LINE of the statement that changed
// it, separated by tabs; otherwise empty.
LINEBASIC_EXPORT(watchHit) const char* watchHit() {
  linebasic_watch_hit hit{};
  if (linebasic_watch_hit_of(engine().machine, &hit) != LINEBASIC_OK) return answer("");
  return answer(std::string(1, hit.name) + "\t" + std::to_string(hit.before) + "\t" +
                std::to_string(hit.after) + "\t" + std::to_string(hit.text_line));
}

// The input, an expression, read with the run's variables.
LINEBASIC_EXPORT(evaluateInput) std::int32_t evaluateInput() {
  std::int32_t value = 0;
  linebasic_evaluate(engine().machine, engine().input.c_str(), &value);
  return value;
}

// The active GOSUBs and FOR loops, innermost first, a line each: "gosub LINE" (the text line
// it returns to), or "for LINE VARIABLE LIMIT" (the text line its body starts on).
LINEBASIC_EXPORT(stack) const char* stack() {
  std::string frames;
  linebasic_stack(
      engine().machine,
      [](void* context, const linebasic_frame* frame) {
        auto& text = *static_cast<std::string*>(context);
        text += frame->is_gosub != 0 ? "gosub " : "for ";
        text += std::to_string(frame->text_line);
        if (frame->is_gosub == 0) {
          text += std::string(" ") + frame->variable + " " + std::to_string(frame->limit);
        }
        text += "\n";
      },
      &frames);
  return answer(std::move(frames));
}

// How many GOSUBs are active.
LINEBASIC_EXPORT(gosubDepth) std::int32_t gosubDepth() {
  std::int32_t depth = 0;
  linebasic_stack(
      engine().machine,
      [](void* context, const linebasic_frame* frame) {
        *static_cast<std::int32_t*>(context) += frame->is_gosub;
      },
      &depth);
  return depth;
}

// Steps run since the load: a line's number counts one, as each statement does.
LINEBASIC_EXPORT(statements) double statements() {
  return static_cast<double>(linebasic_steps(engine().machine));
}

// The text line (from 1) the run stands on; once it has ended, that of the statement that
// ended it; -1 when none ran.
LINEBASIC_EXPORT(runLine) std::int32_t runLine() {
  const std::int32_t line = where().text_line;
  return line > 0 ? line : -1;
}

// Once the run has ended, not at END: "no line is numbered 75" when the line of the statement
// that ended it jumps to a line that is not there and the jump surely ran; otherwise empty
// (its length through answerLength).
LINEBASIC_EXPORT(missedJump) const char* missedJump() {
  return answer(linebasic_missed_jump(engine().machine));
}

// The number of the line runLine names; -1 when that line has none.
LINEBASIC_EXPORT(currentLine) std::int32_t currentLine() {
  return where().number;
}

// The variables a to z, a byte each.
LINEBASIC_EXPORT(variables) const std::int8_t* variables() {
  Engine& state = engine();
  for (std::size_t i = 0; i < state.variables.size(); ++i) {
    state.variables[i] =
        static_cast<std::int8_t>(linebasic_get_variable(state.machine, static_cast<char>('a' + i)));
  }
  return state.variables.data();
}

// What the run printed since the last call (its length through answerLength).
LINEBASIC_EXPORT(takeOutput) const char* takeOutput() {
  Engine& state = engine();
  state.answer.swap(state.printed);
  state.printed.clear();
  return state.answer.c_str();
}

// The checker's warnings on the input, a line each: LINE, COLUMN, NAME and MESSAGE, separated
// by tabs (a message shows no control character as it is), and for a warning that has a fix,
// its OFFSET and LENGTH in bytes and its TEXT (escaped).
LINEBASIC_EXPORT(checkInput) const char* checkInput() {
  std::string warnings;
  linebasic_check(
      engine().input.data(), engine().input.size(),
      [](void* context, const linebasic_warning* warning) {
        auto& text = *static_cast<std::string*>(context);
        text += std::to_string(warning->text_line) + "\t" + std::to_string(warning->column) + "\t";
        text.append(warning->name).append("\t").append(warning->message);
        if (warning->fix_text != nullptr) {
          text += "\t" + std::to_string(warning->fix_offset) + "\t" +
                  std::to_string(warning->fix_length) + "\t" + escaped(warning->fix_text);
        }
        text += "\n";
      },
      &warnings);
  return answer(std::move(warnings));
}

// The input with every fix applied: the number of warnings mended (-1 when memory ran out), a
// line-feed, then the mended text.
LINEBASIC_EXPORT(fixInput) const char* fixInput() {
  std::string mended;
  const long count =
      linebasic_fix(engine().input.data(), engine().input.size(), keepText, nullptr, &mended);
  return answer(std::to_string(count) + "\n" + mended);
}

// The input renumbered from `start` by `step`: "done", a line-feed and the new text; or
// "refused", the TEXT LINE (0 for numbers out of range), COLUMN and MESSAGE, separated by tabs;
// or "failed" when memory ran out.
LINEBASIC_EXPORT(renumberInput) const char* renumberInput(std::int32_t start, std::int32_t step) {
  std::string text;
  const linebasic_status status = linebasic_renumber(
      engine().input.data(), engine().input.size(), start, step, 0, 9999, keepText,
      [](void* context, const linebasic_refusal* refusal) {
        *static_cast<std::string*>(context) = "refused\t" + std::to_string(refusal->text_line) +
                                              "\t" + std::to_string(refusal->column) + "\t" +
                                              refusal->message;
      },
      &text);
  if (status == LINEBASIC_OK) return answer("done\n" + text);
  return answer(status == LINEBASIC_REFUSED ? std::move(text) : "failed");
}

LINEBASIC_EXPORT(demoProgram) const char* demoProgram() {
  return answer(linebasic::kDemoProgram);
}

LINEBASIC_EXPORT(answerLength) std::uint32_t answerLength() {
  return static_cast<std::uint32_t>(engine().answer.size());
}

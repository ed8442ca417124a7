// The playground's engine: the interpreter, run control and the checker behind a small C
// interface that the page calls through WebAssembly. The page writes a program text into the
// input buffer, loads it and drives the run a slice of statements at a time: on to the next
// breakpoint (resume) or to the next line (step). What the program prints collects in the
// engine until the page takes it; between slices the page reads where the run stands and its
// variables, and sets or clears breakpoints.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "app/demo_program.h"
#include "check/check.h"
#include "check/lines.h"
#include "debug/run_control.h"
#include "interpreter/interpreter.h"

#define LINEBASIC_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

struct Engine {
  std::string input;    // the text the page wrote last
  std::string program;  // the text being run: alive as long as it is loaded
  std::string printed;  // what the run printed since the page last took it
  std::string answer;   // the last text handed back to the page
  linebasic::Interpreter interpreter;
  linebasic::RunControl control{interpreter};

  Engine() {
    interpreter.output = {[](void* context, std::string_view text) {
                            static_cast<std::string*>(context)->append(text);
                          },
                          &printed};
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

// Runs one slice.
std::int32_t goOn(std::uint32_t bound, bool stepping) {
  linebasic::RunControl& control = engine().control;
  return static_cast<std::int32_t>(stepping ? control.step(bound) : control.resume(bound));
}

}  // namespace

// Room for `size` bytes of text, which the page then writes.
LINEBASIC_EXPORT(inputBuffer) char* inputBuffer(std::uint32_t size) {
  engine().input.assign(size, '\0');
  return engine().input.data();
}

// Makes the input the program and sets a run at its top, with every variable 0; the
// breakpoints stay. Like any run, it ends at a NUL byte.
LINEBASIC_EXPORT(loadProgram) void loadProgram() {
  Engine& state = engine();
  state.program = state.input;
  state.interpreter.variables.fill(0);
  state.control.start(state.program.c_str());
  state.printed.clear();
}

// Breakpoints are on lines of the text, counted from 1.
LINEBASIC_EXPORT(setBreakpoint) void setBreakpoint(std::int32_t line) {
  engine().control.setBreakpoint(line);
}

LINEBASIC_EXPORT(clearBreakpoints) void clearBreakpoints() {
  engine().control.clearBreakpoints();
}

// Runs until a breakpoint, the end or `bound` statements (resume), or until the run reaches
// the next line (step). Returns why it stopped: 0 ended, 1 breakpoint, 2 stepped, 3 bound.
LINEBASIC_EXPORT(resume) std::int32_t resume(std::uint32_t bound) {
  return goOn(bound, false);
}

LINEBASIC_EXPORT(step) std::int32_t step(std::uint32_t bound) {
  return goOn(bound, true);
}

// Statements executed since the load.
LINEBASIC_EXPORT(statements) double statements() {
  return static_cast<double>(engine().control.statements());
}

// The text line (from 1) the run stands on; once it has ended, that of the statement that
// ended it; -1 when none ran.
LINEBASIC_EXPORT(runLine) std::int32_t runLine() {
  Engine& state = engine();
  if (const auto line = state.control.line()) return *line;
  const char* const ending = state.control.endingStatement();
  if (ending == nullptr) return -1;
  const char* const text = state.program.c_str();
  return static_cast<std::int32_t>(1 + std::count(text, ending, '\n'));
}

// Once the run has ended, not at END: "no line is numbered 75" when the line of the statement
// that ended it jumps to a line that is not there and the jump surely ran; otherwise empty
// (its length through answerLength).
LINEBASIC_EXPORT(missedJump) const char* missedJump() {
  Engine& state = engine();
  const char* const ending = state.control.endingStatement();
  if (ending == nullptr || state.interpreter.endReached != 0) return answer({});
  return answer(linebasic::missedJump(state.program.c_str(), ending));
}

// The number of the line the run stands on; -1 when that line has none.
LINEBASIC_EXPORT(currentLine) std::int32_t currentLine() {
  return linebasic::lineNumberOfLine(engine().interpreter).value_or(-1);
}

// The variables a to z, a byte each.
LINEBASIC_EXPORT(variables) const std::int8_t* variables() {
  return engine().interpreter.variables.data();
}

// What the run printed since the last call (its length through answerLength).
LINEBASIC_EXPORT(takeOutput) const char* takeOutput() {
  Engine& state = engine();
  state.answer.swap(state.printed);
  state.printed.clear();
  return state.answer.c_str();
}

// The checker's warnings on the input, a line each: LINE, COLUMN, NAME and MESSAGE, separated
// by tabs (a message shows no control character as it is).
LINEBASIC_EXPORT(checkInput) const char* checkInput() {
  std::string warnings;
  for (const linebasic::Diagnostic& diagnostic : linebasic::checkProgram(engine().input)) {
    warnings += std::to_string(diagnostic.line) + "\t" + std::to_string(diagnostic.column) + "\t";
    warnings.append(diagnostic.name).append("\t").append(diagnostic.message).append("\n");
  }
  return answer(std::move(warnings));
}

LINEBASIC_EXPORT(demoProgram) const char* demoProgram() {
  return answer(linebasic::kDemoProgram);
}

LINEBASIC_EXPORT(answerLength) std::uint32_t answerLength() {
  return static_cast<std::uint32_t>(engine().answer.size());
}

// The playground's engine: the interpreter and the checker behind a small C interface that the
// page calls through WebAssembly. The page writes a program text into the input buffer, then
// runs it a slice of statements at a time (what it prints arrives through standard output, one
// slice at a time) or asks for the checker's warnings.
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/demo_program.h"
#include "check/check.h"
#include "check/lines.h"
#include "interpreter/interpreter.h"

#define LINEBASIC_EXPORT(name) extern "C" __attribute__((export_name(#name)))

namespace {

struct Engine {
  std::string input;    // the text the page wrote last
  std::string program;  // the text being run: alive as long as it is loaded
  std::string answer;   // the last text handed back to the page
  linebasic::Interpreter interpreter;
  const char* statementStart = nullptr;  // where the last statement the run began starts

  // Output goes out whole at the end of each slice, not a write per printed line.
  Engine() { std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{1} << 16); }
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

}  // namespace

// Room for `size` bytes of text, which the page then writes.
LINEBASIC_EXPORT(inputBuffer) char* inputBuffer(std::uint32_t size) {
  engine().input.assign(size, '\0');
  return engine().input.data();
}

// Makes the input the program, with every variable 0. Like any run, it ends at a NUL byte.
LINEBASIC_EXPORT(loadProgram) void loadProgram() {
  Engine& state = engine();
  state.program = state.input;
  state.interpreter.variables.fill(0);
  state.interpreter.load(state.program.c_str());
  state.statementStart = nullptr;
}

// Runs at most `steps` statements; returns how many ran. Less than `steps`: the run is over.
LINEBASIC_EXPORT(runSlice) std::uint32_t runSlice(std::uint32_t steps) {
  Engine& state = engine();
  linebasic::Interpreter& interpreter = state.interpreter;
  std::uint32_t ran = 0;
  for (; ran < steps && !interpreter.isDone(); ++ran) {
    state.statementStart = interpreter.tokenStart;
    interpreter.executeStatement();
  }
  std::fflush(stdout);
  return ran;
}

// The number of the line the run stands on; -1 when that line has none.
LINEBASIC_EXPORT(currentLine) std::int32_t currentLine() {
  return linebasic::lineNumberOfLine(engine().interpreter).value_or(-1);
}

// The byte offset in the program of the last statement the run began (where it stands, or the
// statement that ended it); -1 before the first.
LINEBASIC_EXPORT(statementOffset) std::int32_t statementOffset() {
  const Engine& state = engine();
  if (state.statementStart == nullptr) return -1;
  return static_cast<std::int32_t>(state.statementStart - state.program.c_str());
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

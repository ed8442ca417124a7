// libFuzzer target: every input is a program text. The interpreter must run it, and the
// checker check it, without a crash, an out-of-bounds read or undefined behaviour, and each
// statement and each check must end. Run through the C API in slices, steps and breakpoints
// (chosen from the text), it must print what a plain run prints and end with the same variables.
// A renumbering of it that is accepted must run as it does.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "edit/renumber.h"
#include "interpreter/interpreter.h"
#include "linebasic/linebasic.h"
#include "reference_search.h"

namespace {

// Programs may loop forever by design, so the run is cut off after this many statements.
constexpr std::uint64_t kStatementLimit = 10'000;

void appendTo(void* context, const char* text, std::size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

// The same text run twice through the C API, once plainly and once stopping on the way, as
// chosen by a hash of the text: breakpoints on some text lines, steps and runs with bounds,
// and going back a few times (the output cut to what was printed up to there, as a page
// shows it): the run that went back and forward again ends as the plain one.
void compareStoppedRun(const std::string& text, std::size_t lines) {
  std::uint64_t choice = 1469598103934665603ULL;
  for (const char c : text)
    choice = (choice ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
  std::string plainOutput;
  std::string stoppedOutput;
  linebasic_machine* plain = linebasic_new();
  linebasic_machine* stopped = linebasic_new();
  linebasic_set_output(plain, appendTo, &plainOutput);
  linebasic_set_output(stopped, appendTo, &stoppedOutput);
  linebasic_load(plain, text.data(), text.size());
  linebasic_load(stopped, text.data(), text.size());
  linebasic_run(plain, kStatementLimit);
  for (int line = 1; line < 64; ++line) {
    if ((choice >> line & 1) != 0) linebasic_set_text_breakpoint(stopped, line);
  }
  std::uint64_t turn = choice;
  int backs = 0;
  for (std::uint64_t call = 0; call < 2 * kStatementLimit + 2; ++call) {
    if ((turn & 48) == 48 && backs < 8) {
      ++backs;
      if ((turn & 64) != 0) {
        linebasic_back(stopped, turn % 5 + 1, nullptr);
      } else {
        linebasic_back_to_breakpoint(stopped);
      }
      if (linebasic_printed(stopped) > stoppedOutput.size()) std::abort();
      stoppedOutput.resize(linebasic_printed(stopped));
    }
    const std::uint64_t left = kStatementLimit - linebasic_steps(stopped);
    const std::uint64_t bound = (turn & 8) != 0 ? left : std::min<std::uint64_t>(left, turn % 97);
    const linebasic_status status =
        (turn & 1) != 0 ? linebasic_step(stopped, bound) : linebasic_run(stopped, bound);
    turn = turn * 6364136223846793005ULL + 1442695040888963407ULL;
    // Where the run stands is a line the text has.
    linebasic_place place{};
    linebasic_where(stopped, &place);
    if (place.text_line < 0 || static_cast<std::size_t>(place.text_line) > lines) std::abort();
    if (status == LINEBASIC_ENDED || linebasic_steps(stopped) == kStatementLimit) break;
  }
  linebasic_clear_breakpoints(stopped);  // the calls ran out: the rest in one go
  linebasic_run(stopped, kStatementLimit - linebasic_steps(stopped));
  if (stoppedOutput != plainOutput || linebasic_steps(stopped) != linebasic_steps(plain)) {
    std::abort();
  }
  for (char name = 'a'; name <= 'z'; ++name) {
    if (linebasic_get_variable(plain, name) != linebasic_get_variable(stopped, name)) std::abort();
  }
  linebasic_delete(plain);
  linebasic_delete(stopped);
}

// What a run of `text` prints within kStatementLimit statements, how it ended and its variables.
std::string runOf(const std::string& text) {
  linebasic::Interpreter interpreter;
  std::string printed;
  interpreter.output = {[](void* context, std::string_view piece) {
                          static_cast<std::string*>(context)->append(piece);
                        },
                        &printed};
  interpreter.load(text.c_str());
  for (std::uint64_t step = 0; step < kStatementLimit && !interpreter.isDone(); ++step)
    interpreter.executeStatement();
  printed += interpreter.isDone() ? "|ended|" : "|bound|";
  printed.append(reinterpret_cast<const char*>(interpreter.variables.data()),
                 interpreter.variables.size());
  return printed;
}

// A renumbering of the text, from a start and step chosen by its length, runs as the text.
void compareRenumbered(const std::string& text) {
  const auto start = static_cast<std::int32_t>(1 + text.size() % 50);
  const auto step = static_cast<std::int32_t>(1 + text.size() / 7 % 20);
  const linebasic::Renumbered renumbered = linebasic::renumber(text, {start, step, 0, 9999});
  if (renumbered.ok() && runOf(renumbered.text) != runOf(text)) std::abort();
  if (!renumbered.ok() && (renumbered.refusal->textLine < 1 || renumbered.refusal->column < 1))
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The text ends at its first NUL, as a C string does; the copy adds the terminator.
  const std::string text(reinterpret_cast<const char*>(data), size);
  linebasic::Interpreter interpreter;
  interpreter.load(text.c_str());
  for (std::uint64_t step = 0; step < kStatementLimit && !interpreter.isDone(); ++step) {
    interpreter.executeStatement();
  }

  // Every warning stands on a line and column of the text, in text order, and the summary
  // counts them all.
  std::size_t lines = 1;
  for (const char c : text.substr(0, text.find('\0')))
    lines += c == '\n' ? 1 : 0;
  compareStoppedRun(text, lines);
  compareRenumbered(text);
  const std::vector<linebasic::Diagnostic> diagnostics = linebasic::checkProgram(text);
  int previousLine = 1;
  for (const linebasic::Diagnostic& diagnostic : diagnostics) {
    if (diagnostic.line < previousLine || static_cast<std::size_t>(diagnostic.line) > lines ||
        diagnostic.column < 1 || diagnostic.message.empty()) {
      std::abort();
    }
    previousLine = diagnostic.line;
  }
  const std::string summary = linebasic::formatSummary(diagnostics);
  if (summary.rfind(diagnostics.empty() ? "" : std::to_string(diagnostics.size()) + " warning",
                    0) != 0) {
    std::abort();
  }

  // The line searches must stop where the token-by-token searches stop.
  linebasic::Interpreter expected;
  expected.load(text.c_str());
  for (const std::int32_t n : {0, 1, 2, 3, 5, 10, 20, 30, 100}) {
    interpreter.load(text.c_str());
    expected.load(text.c_str());
    interpreter.jumpToOrdinal(n);
    linebasic::reference::jumpToOrdinal(expected, n);
    if (!linebasic::reference::samePosition(interpreter, expected)) std::abort();
    interpreter.jumpToLine(n);
    linebasic::reference::jumpToLine(expected, n);
    if (!linebasic::reference::samePosition(interpreter, expected)) std::abort();
  }
  return 0;
}

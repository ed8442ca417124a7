// libFuzzer target: every input is a program text. The interpreter must run it, and the
// checker check it, without a crash, an out-of-bounds read or undefined behaviour, and each
// statement and each check must end.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "check/check.h"
#include "interpreter/interpreter.h"
#include "reference_search.h"

namespace {

// Programs may loop forever by design, so the run is cut off after this many statements.
constexpr int kStatementLimit = 10'000;

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
  for (int step = 0; step < kStatementLimit && !interpreter.isDone(); ++step) {
    interpreter.executeStatement();
  }

  // Every warning stands on a line and column of the text, in text order, and the summary
  // counts them all.
  std::size_t lines = 1;
  for (const char c : text.substr(0, text.find('\0')))
    lines += c == '\n' ? 1 : 0;
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

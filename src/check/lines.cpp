#include "check/lines.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "check/check.h"
#include "check/checker.h"
#include "scanner/scanner.h"

namespace linebasic {
namespace {

// The first byte of the line that holds `at`.
const char* lineStart(const char* text, const char* at) {
  while (at != text && at[-1] != '\n')
    --at;
  return at;
}

}  // namespace

std::optional<std::int32_t> lineNumberAt(const Interpreter& interpreter) {
  if (interpreter.token != TokenKind::Number) return {};
  const char* before = interpreter.tokenStart;
  while (before != interpreter.programText && isBlank(before[-1]))
    --before;
  if (before != interpreter.programText && before[-1] != '\n') return {};
  return decimalValue(interpreter.tokenStart);
}

std::optional<std::int32_t> lineNumberOfLine(const Interpreter& interpreter) {
  return lineNumberOfLine(interpreter.programText, interpreter.tokenStart);
}

std::optional<std::int32_t> lineNumberOfLine(const char* text, const char* at) {
  const char* const number = skipBlanks(lineStart(text, at));
  if (!isDigit(*number)) return {};
  return decimalValue(number);
}

std::string missedJump(const char* text, const char* ending) {
  const auto line = static_cast<int>(std::count(text, ending, '\n')) + 1;
  const char* const lineEnd = std::strchr(ending, '\n');
  const bool last = lineEnd == nullptr || std::string_view(lineEnd).find_first_not_of(" \t\r\n") ==
                                              std::string_view::npos;
  const std::string_view statement(ending);
  if (last && !statement.starts_with("goto") && !statement.starts_with("gosub")) return {};
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    if (diagnostic.line == line && diagnostic.name == check::name::kMissingLine)
      return diagnostic.message.substr(0, diagnostic.message.find(':'));
  }
  return {};
}

}  // namespace linebasic

#include "check/lines.h"

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
  const char* const number = skipBlanks(lineStart(interpreter.programText, interpreter.tokenStart));
  if (!isDigit(*number)) return {};
  return decimalValue(number);
}

}  // namespace linebasic

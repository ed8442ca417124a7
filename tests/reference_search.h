// The line searches written the slow, literal way: token by token with advance. The real
// searches read the text a block at a time and must leave exactly the state these leave.
#pragma once

#include <cstdint>

#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace linebasic::reference {

inline void restartScan(Interpreter& interpreter) {
  interpreter.lineOrdinal = 0;
  interpreter.tokenStart = interpreter.programText;
  interpreter.token = interpreter.scanToken();
}

inline void jumpToOrdinal(Interpreter& interpreter, std::int32_t n) {
  restartScan(interpreter);
  while (interpreter.token != TokenKind::EndOfText && interpreter.lineOrdinal != n)
    interpreter.advance();
}

// Inspects the first token of the text and of every line; empty lines hide nothing.
inline void jumpToLine(Interpreter& interpreter, std::int32_t n) {
  restartScan(interpreter);
  if (decimalValue(interpreter.tokenStart) == n) return;
  while (interpreter.token != TokenKind::EndOfText) {
    do {
      interpreter.advance();
    } while (interpreter.token != TokenKind::Newline && interpreter.token != TokenKind::EndOfText);
    while (interpreter.token == TokenKind::Newline)
      interpreter.advance();
    if (interpreter.token == TokenKind::Number && decimalValue(interpreter.tokenStart) == n) return;
  }
}

// True when two interpreters stand on the same token with the same line count.
inline bool samePosition(const Interpreter& a, const Interpreter& b) {
  return a.tokenStart == b.tokenStart && a.tokenEnd == b.tokenEnd && a.token == b.token &&
         a.lineOrdinal == b.lineOrdinal;
}

}  // namespace linebasic::reference

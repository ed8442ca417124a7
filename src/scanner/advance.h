// The step from token to token, defined inline: the evaluator and the statements call it for
// every token they read. Only the common tokens are scanned here; the rest go to scanner.cpp.
#pragma once

#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace linebasic {

// Classifies the token at tokenStart and sets tokenEnd just past it; at the end of the text
// tokenEnd is left as it is. Neither tokenStart, token nor lineOrdinal changes.
inline TokenKind Interpreter::scanToken() {
  const TokenKind kind = firstByteKind(*tokenStart);
  if (isOneCharacterKind(kind) || (kind == TokenKind::Variable && endsWord(tokenStart[1]))) {
    tokenEnd = tokenStart + 1;  // a delimiter, or a one-letter word: no keyword is that short
    return kind;
  }
  if (kind == TokenKind::Number) return scanNumber();
  if (kind == TokenKind::Variable) return scanLowerWord();
  return scanLongToken(kind);
}

// One to four digits are a Number; a longer run is one Invalid token covering all of it, so
// the scan always moves forward.
inline TokenKind Interpreter::scanNumber() {
  const char* end = tokenStart + 1;
  while (isDigit(*end) && end - tokenStart < kNumberScanLimit)
    ++end;
  if (end - tokenStart < kNumberScanLimit) {
    tokenEnd = end;
    return TokenKind::Number;
  }
  while (isDigit(*end))
    ++end;
  tokenEnd = end;
  return TokenKind::Invalid;
}

// Steps over the current token and any blanks after it, scans the next token and counts it
// when it is a line-feed. At the end of the text nothing changes.
inline void Interpreter::advance() {
  if (*tokenStart == '\0' || token == TokenKind::EndOfText) return;
  tokenStart = skipBlanks(tokenEnd);
  token = scanToken();
  if (token == TokenKind::Newline) ++lineOrdinal;
}

}  // namespace linebasic

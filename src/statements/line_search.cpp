// The two line searches. There is no line table: every jump scans again from the first
// character of the text, counting line-feeds as it goes.
#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace linebasic {

// Puts the scan back at the top of the text; the first token is scanned without skipping
// blanks and, if it is a line-feed, without counting it.
void Interpreter::restartScan() {
  lineOrdinal = 0;
  tokenStart = programText;
  token = scanToken();
}

// Stops on the number that starts the first line carrying n, so that the run loop skips it
// and runs that line. Only the text's first token and the first token after a line's end
// (and after any empty lines) are inspected. No such line: stops at the end of the text.
void Interpreter::jumpToLine(std::int32_t n) {
  restartScan();
  if (decimalValue(tokenStart) == n) return;  // the first line is tested on the text itself
  while (true) {
    do {
      advance();
    } while (token != TokenKind::Newline && token != TokenKind::EndOfText);
    while (token == TokenKind::Newline)
      advance();
    if (token == TokenKind::EndOfText) return;
    if (token == TokenKind::Number && decimalValue(tokenStart) == n) return;
  }
}

// Stops on the n-th counted line-feed, the end of the line before the line with ordinal n
// (for 0, on the text's first token), or at the end of the text when there are fewer.
void Interpreter::jumpToOrdinal(std::int32_t n) {
  restartScan();
  while (lineOrdinal != n && token != TokenKind::EndOfText)
    advance();
}

}  // namespace linebasic

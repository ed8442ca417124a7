// The two line searches. There is no line table: every jump scans again from the first
// character of the text, counting line-feeds as it goes.
//
// A search only needs the line-feed tokens and the first token of each line, so it finds them
// in bulk instead of token by token, and makes a token current only where it stops. Where it
// stops, and the state it leaves, are exactly those of a search made with advance.
#include <cstdint>
#include <limits>

#include "interpreter/interpreter.h"
#include "scanner/line_feeds.h"
#include "scanner/scanner.h"

namespace linebasic {

// Puts the scan back at the top of the text; the first token is scanned without skipping
// blanks and, if it is a line-feed, without counting it.
void Interpreter::restartScan() {
  lineOrdinal = 0;
  tokenStart = programText;
  token = scanToken();
}

// Makes the token at `at` current, as advance would from a token that ended at `previousEnd`.
void Interpreter::stopAt(const char* at, const char* previousEnd) {
  tokenStart = at;
  tokenEnd = previousEnd;  // stays unchanged when the scan meets the end of the text
  token = scanToken();
  if (token == TokenKind::Newline) ++lineOrdinal;
}

// Stops on the number that starts the first line carrying n, so that the run loop skips it
// and runs that line. Only the text's first token and the first token after a line's end
// (and after any empty lines) are inspected. No such line: stops at the end of the text.
void Interpreter::jumpToLine(std::int32_t n) {
  restartScan();
  if (decimalValue(tokenStart) == n) return;  // the first line is tested on the text itself
  if (token == TokenKind::EndOfText) return;
  const LineFeedStop stop = findNumberedLine(programText, tokenEnd, programEnd, n);
  lineOrdinal += stop.lineFeedsBefore;
  stopAt(stop.at, stop.previousEnd);
  if (token == TokenKind::Newline) stopAt(skipBlanks(tokenEnd), tokenEnd);
}

// Stops on the n-th counted line-feed, the end of the line before the line with ordinal n
// (for 0, on the text's first token), or at the end of the text when there are fewer.
void Interpreter::jumpToOrdinal(std::int32_t n) {
  restartScan();
  if (lineOrdinal == n || token == TokenKind::EndOfText) return;
  const std::int32_t count = n > 0 ? n : std::numeric_limits<std::int32_t>::max();
  const LineFeedStop stop = findLineFeed(programText, tokenEnd, programEnd, count);
  lineOrdinal += stop.lineFeedsBefore;
  stopAt(stop.at, stop.previousEnd);
}

// Where RETURN or NEXT comes back to after a GOSUB or FOR on the line with ordinal `ownLine`:
// the line ordinal reached once its operands are read. When that is still its own line (more
// tokens follow on it, or the text ends there), the next line, so that it never runs again.
std::int32_t Interpreter::returnOrdinal(std::int32_t ownLine) const {
  return lineOrdinal == ownLine ? ownLine + 1 : lineOrdinal;
}

}  // namespace linebasic

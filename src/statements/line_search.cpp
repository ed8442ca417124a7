// The two line searches. There is no line table: every jump scans again from the first
// character of the text, counting line-feeds as it goes.
//
// A search only needs the line-feed tokens and the first token of each line, so it reads the
// text a block at a time instead of token by token, and makes a token current only where it
// stops. Where it stops, and the state it leaves, are exactly those of a search made with
// advance.
#include <bit>
#include <cstdint>
#include <optional>

#include "interpreter/interpreter.h"
#include "scanner/byte_blocks.h"
#include "scanner/scanner.h"

namespace linebasic {
namespace {

// Where a walk over the text met its end: the NUL, and the end of the last token before it.
struct TextEnd {
  const char* nul;
  const char* previousEnd;
};

// Reads `text` from `from`, the end of a token, to its NUL at `end`, a block at a time.
// The line-feeds of each block up to its first hiding byte are line-feed tokens; a literal or
// an Other word that starts there is passed whole, as the scanner passes it. `visit(at, block)`
// sees each block (bit i of its line-feeds stands for at[i]) and returns true to stop the
// walk; the result is then empty.
template <typename Visit>
std::optional<TextEnd> walkLineFeeds(const char* text, const char* from, const char* end,
                                     Visit visit) {
  const char* at = from;
  const char* runStart = from;  // just past the last literal or Other word passed
  while (true) {
    const BlockScan block = scanBlock(at, text, end);
    if (visit(at, block)) return std::nullopt;
    if (block.firstHider == kBlockSize) {
      at += kBlockSize;
      continue;
    }
    const char* const hider = at + block.firstHider;
    if (*hider == '\0') return TextEnd{hider, lastTokenEnd(runStart, hider)};
    at = runStart = passLiteralOrWord(hider);
  }
}

// The offset of the n-th set bit of `bits` (the first is n = 0); `bits` has more than n.
int nthSetBit(std::uint64_t bits, std::int32_t n) {
  for (; n > 0; --n)
    bits &= bits - 1;
  return std::countr_zero(bits);
}

// The digit a line number of value n starts with when written without leading zeros; '0'
// when no Number token can have value n.
char leadingDigit(std::int32_t n) {
  if (n < 0 || n > 9999) return '0';
  while (n >= 10)
    n /= 10;
  return static_cast<char>('0' + n);
}

}  // namespace

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
  const char leading = leadingDigit(n);
  const auto textEnd =
      walkLineFeeds(programText, tokenEnd, programEnd, [&](const char* at, BlockScan block) {
        for (std::uint64_t lineFeeds = block.lineFeeds; lineFeeds != 0;
             lineFeeds &= lineFeeds - 1) {
          ++lineOrdinal;
          const char* const lineStart = at + std::countr_zero(lineFeeds) + 1;
          // Only a line that starts with a blank, a zero or n's first digit can carry n.
          if (*lineStart != leading && *lineStart != '0' && !isBlank(*lineStart)) continue;
          tokenStart = skipBlanks(lineStart);
          token = scanToken();  // looked at only: a line-feed here is the next bit's to count
          if (token == TokenKind::Number && decimalValue(tokenStart) == n) return true;
        }
        return false;
      });
  if (textEnd) stopAt(textEnd->nul, textEnd->previousEnd);
}

// Stops on the n-th counted line-feed, the end of the line before the line with ordinal n
// (for 0, on the text's first token), or at the end of the text when there are fewer.
void Interpreter::jumpToOrdinal(std::int32_t n) {
  restartScan();
  if (lineOrdinal == n || token == TokenKind::EndOfText) return;
  const auto textEnd =
      walkLineFeeds(programText, tokenEnd, programEnd, [&](const char* at, BlockScan block) {
        if (lineOrdinal < n && n - lineOrdinal <= block.lineFeedCount) {
          const char* const lineFeed = at + nthSetBit(block.lineFeeds, n - lineOrdinal - 1);
          lineOrdinal = n - 1;
          stopAt(lineFeed, lineFeed);
          return true;
        }
        lineOrdinal += block.lineFeedCount;
        return false;
      });
  if (textEnd) stopAt(textEnd->nul, textEnd->previousEnd);
}

// Where RETURN or NEXT comes back to after a GOSUB or FOR on the line with ordinal `ownLine`:
// the line ordinal reached once its operands are read. When that is still its own line (more
// tokens follow on it, or the text ends there), the next line, so that it never runs again.
std::int32_t Interpreter::returnOrdinal(std::int32_t ownLine) const {
  return lineOrdinal == ownLine ? ownLine + 1 : lineOrdinal;
}

}  // namespace linebasic

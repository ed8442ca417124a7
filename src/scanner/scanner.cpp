// The on-demand scanner: classifies the token at tokenStart and steps from token to token.
#include "scanner/scanner.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "interpreter/interpreter.h"

namespace linebasic {

KeywordTable makeKeywordTable() {
  return {
      {"let", TokenKind::Let},     {"print", TokenKind::Print},   {"if", TokenKind::If},
      {"then", TokenKind::Then},   {"else", TokenKind::Else},     {"for", TokenKind::For},
      {"to", TokenKind::To},       {"next", TokenKind::Next},     {"goto", TokenKind::Goto},
      {"gosub", TokenKind::Gosub}, {"return", TokenKind::Return}, {"call", TokenKind::Call},
      {"end", TokenKind::End},
  };
}

std::int32_t decimalValue(const char* text) {
  // The magnitude is capped one past INT32_MAX, which is enough to saturate either way.
  constexpr std::int64_t kMagnitudeCap = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  while (isConversionSpace(*text))
    ++text;
  const bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  std::int64_t magnitude = 0;
  for (; isDigit(*text); ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > kMagnitudeCap) magnitude = kMagnitudeCap;
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(std::min(magnitude, kMagnitudeCap - 1));
}

// Classifies the token at tokenStart and sets tokenEnd just past it; at the end of the text
// tokenEnd is left as it is. Neither tokenStart, token nor lineOrdinal changes.
TokenKind Interpreter::scanToken() {
  const char c = *tokenStart;
  if (c == '\0') return TokenKind::EndOfText;
  if (isDigit(c)) return scanNumber();
  if (const TokenKind kind = classifyDelimiter(c); kind != TokenKind::Invalid) {
    tokenEnd = tokenStart + 1;
    return kind;
  }
  if (c == '"') return scanString();
  return scanWord();
}

// One to four digits are a Number; a longer run is one Invalid token covering all of it, so
// the scan always moves forward.
TokenKind Interpreter::scanNumber() {
  const char* p = tokenStart;
  for (int i = 0; i < kNumberScanLimit; ++i, ++p) {
    if (!isDigit(*p)) {
      tokenEnd = p;
      return TokenKind::Number;
    }
  }
  while (isDigit(*p))
    ++p;
  tokenEnd = p;
  return TokenKind::Invalid;
}

// A literal runs to the first double quote after the opening one, across line-feeds; without
// a closing quote it runs to the end of the text and tokenEnd stops on the NUL.
TokenKind Interpreter::scanString() {
  const char* p = tokenStart + 1;
  while (*p != '"' && *p != '\0')
    ++p;
  tokenEnd = *p == '"' ? p + 1 : p;
  return TokenKind::String;
}

// A word runs to the next space, line-feed or end of text. A keyword takes the whole word; a
// word starting with a lower-case letter yields just that letter as a Variable, and the rest
// is scanned again; any other word is one Invalid token.
TokenKind Interpreter::scanWord() {
  if (isLower(*tokenStart)) return scanLowerWord();
  const char* end = tokenStart + 1;
  while (!endsWord(*end))
    ++end;
  tokenEnd = end;
  return TokenKind::Invalid;
}

// Only a word of at most kLongestKeyword characters can be a keyword, so the scan looks no
// further than that: a long word costs no more than a short one, although only its first
// letter is consumed.
TokenKind Interpreter::scanLowerWord() {
  const char* end = tokenStart + 1;
  while (!endsWord(*end) && end - tokenStart <= kLongestKeyword)
    ++end;
  if (endsWord(*end) && end - tokenStart <= kLongestKeyword) {
    word.assign(tokenStart, end);
    if (const auto entry = keywords.find(std::string_view{word}); entry != keywords.end()) {
      tokenEnd = end;
      return entry->second;
    }
  }
  tokenEnd = tokenStart + 1;
  return TokenKind::Variable;
}

// Steps over the current token and any blanks after it, scans the next token and counts it
// when it is a line-feed. At the end of the text nothing changes.
void Interpreter::advance() {
  if (*tokenStart == '\0' || token == TokenKind::EndOfText) return;
  tokenStart = tokenEnd;
  while (isBlank(*tokenStart))
    ++tokenStart;
  token = scanToken();
  if (token == TokenKind::Newline) ++lineOrdinal;
}

}  // namespace linebasic

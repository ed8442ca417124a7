// The on-demand scanner: classifies the token at tokenStart and steps from token to token.
#include "scanner/scanner.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "interpreter/interpreter.h"

namespace linebasic {

KeywordTable makeKeywordTable() {
  KeywordTable table;
  for (const Keyword& keyword : kKeywords)
    table.emplace(keyword.text, keyword.kind);
  return table;
}

std::int32_t detail::convertDecimal(const char* text) {
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

// Other words, literals and the end of the text, by what their first byte starts.
TokenKind Interpreter::scanLongToken(TokenKind start) {
  switch (start) {
    case TokenKind::String:
      return scanString();
    case TokenKind::EndOfText:
      return TokenKind::EndOfText;  // tokenEnd stays where it is
    default:
      return scanOtherWord();
  }
}

// A literal runs to the first double quote after the opening one, across line-feeds; without
// a closing quote it runs to the end of the text and tokenEnd stops on the NUL.
TokenKind Interpreter::scanString() {
  tokenEnd = literalEnd(tokenStart);
  return TokenKind::String;
}

// A word runs to the next space, line-feed or end of text. One that starts with anything but
// a lower-case letter is no keyword: it is one Invalid token.
TokenKind Interpreter::scanOtherWord() {
  tokenEnd = wordEnd(tokenStart);
  return TokenKind::Invalid;
}

// A word that starts with a lower-case letter is a keyword when the whole word is one;
// otherwise it yields just that letter as a Variable, and the rest is scanned again.
TokenKind Interpreter::scanLowerWord() {
  WordBytes bytes{};
  const std::ptrdiff_t left = programEnd - tokenStart;  // bytes before the NUL
  if (left >= std::ssize(bytes)) {  // the common case, one load: kept apart from the copy below
    std::memcpy(bytes.data(), tokenStart, bytes.size());
  } else {
    std::memcpy(bytes.data(), tokenStart, static_cast<std::size_t>(left));
  }
  if (const detail::KeywordSlot* keyword = keywordAt(bytes); keyword != nullptr) {
    tokenEnd = tokenStart + keyword->length;
    return keyword->kind;
  }
  tokenEnd = tokenStart + 1;
  return TokenKind::Variable;
}

}  // namespace linebasic

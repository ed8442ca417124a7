// What the scanner shares with the rest of the interpreter: character classes, the keyword
// table, the digit-run limit and the decimal conversion of number text.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "scanner/tokens.h"

namespace linebasic {

// A number token has at most four digits: the scan looks at five characters, and five
// digits in a row make one Invalid token that spans the whole run.
inline constexpr int kNumberScanLimit = 5;

// The longest keyword, "return": no longer word needs looking up.
inline constexpr int kLongestKeyword = 6;

using KeywordTable = std::map<std::string, TokenKind, std::less<>>;

// The thirteen lower-case keywords; upper- and mixed-case forms are ordinary words.
KeywordTable makeKeywordTable();

// Character classes work on the byte value, so bytes from 128 up are plain word characters.
constexpr bool isDigit(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= '0' && byte <= '9';
}

constexpr bool isLower(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'a' && byte <= 'z';
}

// Blanks are skipped in front of a token, never inside a word.
constexpr bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// A word runs up to the next space, line-feed or the end of the text.
constexpr bool endsWord(char c) {
  return c == ' ' || c == '\n' || c == '\0';
}

// The white space the decimal conversion skips in front of a number.
constexpr bool isConversionSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The decimal value of the text at `text`: leading white space, one optional sign, then digits
// up to the first non-digit (0 when there are none). Values beyond 32 bits saturate.
std::int32_t decimalValue(const char* text);

}  // namespace linebasic

// What the scanner shares with the rest of the interpreter: character classes, the keyword
// table, the digit-run limit and the decimal conversion of number text.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "scanner/tokens.h"

namespace linebasic {

// A number token has at most four digits: the scan looks at five characters, and five
// digits in a row make one Invalid token that spans the whole run.
inline constexpr int kNumberScanLimit = 5;

// The keywords: the data the keyword table is filled from.
struct Keyword {
  std::string_view text;
  TokenKind kind;
};

inline constexpr std::array<Keyword, 13> kKeywords = {{
    {"let", TokenKind::Let},
    {"print", TokenKind::Print},
    {"if", TokenKind::If},
    {"then", TokenKind::Then},
    {"else", TokenKind::Else},
    {"for", TokenKind::For},
    {"to", TokenKind::To},
    {"next", TokenKind::Next},
    {"goto", TokenKind::Goto},
    {"gosub", TokenKind::Gosub},
    {"return", TokenKind::Return},
    {"call", TokenKind::Call},
    {"end", TokenKind::End},
}};

using KeywordTable = std::map<std::string, TokenKind, std::less<>>;

// The thirteen lower-case keywords; upper- and mixed-case forms are ordinary words.
KeywordTable makeKeywordTable();

namespace detail {

// Character classes, one bit each, for every byte value.
enum CharClass : std::uint8_t {
  kDigitClass = 1U << 0,            // 0 to 9
  kLowerClass = 1U << 1,            // a to z
  kBlankClass = 1U << 2,            // space and tab: skipped in front of a token
  kWordEndClass = 1U << 3,          // space, line-feed and NUL: end a word
  kConversionSpaceClass = 1U << 4,  // what the decimal conversion skips
};

constexpr std::array<std::uint8_t, 256> makeCharClasses() {
  std::array<std::uint8_t, 256> classes{};
  for (unsigned char c = '0'; c <= '9'; ++c)
    classes[c] |= kDigitClass;
  for (unsigned char c = 'a'; c <= 'z'; ++c)
    classes[c] |= kLowerClass;
  for (const unsigned char c : {' ', '\t'})
    classes[c] |= kBlankClass;
  for (const unsigned char c : {' ', '\n', '\0'})
    classes[c] |= kWordEndClass;
  for (const unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
    classes[c] |= kConversionSpaceClass;
  }
  return classes;
}

inline constexpr std::array<std::uint8_t, 256> kCharClasses = makeCharClasses();

constexpr bool hasClass(char c, CharClass charClass) {
  return (kCharClasses[static_cast<unsigned char>(c)] & charClass) != 0;
}

// The keywords by their first letter, a to z, each ready to be compared with a word in one
// step: `letters` is what loading kWordBytes bytes of text gives when the keyword starts them,
// and `mask` keeps just the keyword's bytes of such a load.
inline constexpr std::size_t kWordBytes = 8;

struct KeywordSlot {
  std::uint64_t letters;
  std::uint64_t mask;
  std::uint32_t length;
  TokenKind kind;
};

inline constexpr int kSlotsPerLetter = 2;
using KeywordSlots = std::array<std::array<KeywordSlot, kSlotsPerLetter>, 26>;

// An empty slot matches nothing: no load, masked to nothing, has all bits set.
inline constexpr KeywordSlot kEmptySlot = {~std::uint64_t{0}, 0, 0, TokenKind::Invalid};

constexpr KeywordSlots makeKeywordSlots() {
  KeywordSlots slots{};
  for (auto& letter : slots)
    letter.fill(kEmptySlot);
  for (const Keyword& keyword : kKeywords) {
    auto& letter = slots[static_cast<std::size_t>(keyword.text.front() - 'a')];
    auto* const slot = letter[0].mask == 0 ? &letter[0] : &letter[1];
    // No slot left, or no room for the byte after the keyword: the check below fails.
    if (slot->mask != 0 || keyword.text.size() >= kWordBytes) return KeywordSlots{};
    *slot = {0, 0, static_cast<std::uint32_t>(keyword.text.size()), keyword.kind};
    for (std::size_t at = 0; at < keyword.text.size(); ++at) {
      const std::size_t byte =
          std::endian::native == std::endian::little ? at : kWordBytes - 1 - at;
      slot->letters |= std::uint64_t{static_cast<unsigned char>(keyword.text[at])} << (8 * byte);
      slot->mask |= std::uint64_t{0xFF} << (8 * byte);
    }
  }
  return slots;
}

inline constexpr KeywordSlots kKeywordSlots = makeKeywordSlots();
static_assert(kKeywordSlots['r' - 'a'][0].mask != 0,
              "two keywords at most share a first letter, and each fits in a load with the byte "
              "after it");

// What the first byte of a token makes of it: the kind itself for a one-character token;
// otherwise the kind of scan it starts, named by the kind it most often yields: Number for a
// digit, String for a double quote, Variable for a lower-case letter, EndOfText for the NUL,
// and Invalid for the first byte of any other word.
constexpr std::array<TokenKind, 256> makeFirstByteKinds() {
  std::array<TokenKind, 256> kinds{};
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    TokenKind kind = TokenKind::Invalid;
    if (c == '\0') {
      kind = TokenKind::EndOfText;
    } else if (hasClass(c, kDigitClass)) {
      kind = TokenKind::Number;  // digits before delimiters, delimiters before the rest
    } else if (classifyDelimiter(c) != TokenKind::Invalid) {
      kind = classifyDelimiter(c);
    } else if (c == '"') {
      kind = TokenKind::String;
    } else if (hasClass(c, kLowerClass)) {
      kind = TokenKind::Variable;
    }
    kinds[static_cast<std::size_t>(byte)] = kind;
  }
  return kinds;
}

inline constexpr std::array<TokenKind, 256> kFirstByteKinds = makeFirstByteKinds();

}  // namespace detail

// Character classes work on the byte value, so bytes from 128 up are plain word characters.
constexpr bool isDigit(char c) {
  return detail::hasClass(c, detail::kDigitClass);
}
constexpr bool isLower(char c) {
  return detail::hasClass(c, detail::kLowerClass);
}
// Blanks are skipped in front of a token, never inside a word.
constexpr bool isBlank(char c) {
  return detail::hasClass(c, detail::kBlankClass);
}
// A word runs up to the next space, line-feed or the end of the text.
constexpr bool endsWord(char c) {
  return detail::hasClass(c, detail::kWordEndClass);
}
// The white space the decimal conversion skips in front of a number.
constexpr bool isConversionSpace(char c) {
  return detail::hasClass(c, detail::kConversionSpaceClass);
}

constexpr TokenKind firstByteKind(char c) {
  return detail::kFirstByteKinds[static_cast<unsigned char>(c)];
}

constexpr bool isOneCharacterKind(TokenKind kind) {
  return kind >= TokenKind::Comma;
}

// The bytes of text from a word's first letter, a to z: kWordBytes of them, NULs past the end
// of the text.
using WordBytes = std::array<char, detail::kWordBytes>;

// The keyword that the word in `bytes` is: its letters start the bytes, and a space, a
// line-feed or the end of the text follows them. Null when the word is no keyword.
constexpr const detail::KeywordSlot* keywordAt(const WordBytes& bytes) {
  const auto word = std::bit_cast<std::uint64_t>(bytes);
  for (const detail::KeywordSlot& slot : detail::kKeywordSlots[bytes[0] - 'a']) {
    if ((word & slot.mask) == slot.letters && endsWord(bytes[slot.length])) return &slot;
  }
  return nullptr;
}

// The first position at or after `text` that is no blank.
constexpr const char* skipBlanks(const char* text) {
  while (isBlank(*text))
    ++text;
  return text;
}

// Just past the literal whose opening quote is at `quote`: past its closing quote, or on the
// NUL when it has none.
constexpr const char* literalEnd(const char* quote) {
  const char* end = quote + 1;
  while (*end != '"' && *end != '\0')
    ++end;
  return *end == '"' ? end + 1 : end;
}

// Just past the word that starts at `start`: on the next space, line-feed or NUL. The first
// byte is always taken.
constexpr const char* wordEnd(const char* start) {
  const char* end = start + 1;
  while (!endsWord(*end))
    ++end;
  return end;
}

// Just past the literal or the Other word that starts at `start`, as the scanner passes it.
constexpr const char* passLiteralOrWord(const char* start) {
  return *start == '"' ? literalEnd(start) : wordEnd(start);
}

// The end of the last token in a run of whole tokens and blanks from `runStart` to `runEnd`:
// after its last byte that is no blank, or `runStart` when it holds blanks only.
constexpr const char* lastTokenEnd(const char* runStart, const char* runEnd) {
  while (runEnd != runStart && isBlank(runEnd[-1]))
    --runEnd;
  return runEnd;
}

namespace detail {
std::int32_t convertDecimal(const char* text);
}  // namespace detail

// The decimal value of the text at `text`: leading white space, one optional sign, then digits
// up to the first non-digit (0 when there are none). Values beyond 32 bits saturate. The
// digits of a Number token are read in place; anything else goes the long way.
inline std::int32_t decimalValue(const char* text) {
  const char* digit = text;
  std::int32_t value = 0;
  while (isDigit(*digit) && digit - text < kNumberScanLimit - 1)
    value = value * 10 + (*digit++ - '0');
  if (digit != text && !isDigit(*digit)) return value;
  return detail::convertDecimal(text);
}

}  // namespace linebasic

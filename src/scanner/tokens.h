// Token kinds and the one-character delimiter table.
#pragma once

#include <array>
#include <cstdint>

namespace linebasic {

// The closed set of token kinds. Keywords take 5 to 17, one-character tokens 18 to 32.
enum class TokenKind : std::int32_t {
  Invalid,     // a word that is no keyword and starts with no lower-case letter; 5+ digits
  EndOfText,   // the terminating NUL
  Number,      // one to four decimal digits
  String,      // a double-quoted literal
  Variable,    // a lower-case letter starting a word that is no keyword
  Let,         // let
  Print,       // print
  If,          // if
  Then,        // then
  Else,        // else
  For,         // for
  To,          // to
  Next,        // next
  Goto,        // goto
  Gosub,       // gosub
  Return,      // return
  Call,        // call (a keyword without a statement)
  End,         // end
  Comma,       // ,
  Semicolon,   // ;
  Plus,        // +
  Minus,       // -
  Ampersand,   // &
  Bar,         // |
  Star,        // *
  Slash,       // /
  Percent,     // %
  LeftParen,   // (
  RightParen,  // )
  Less,        // <
  Greater,     // >
  Equals,      // =
  Newline,     // line-feed
};

namespace detail {

constexpr std::array<TokenKind, 256> makeDelimiterTable() {
  std::array<TokenKind, 256> table{};  // every other byte: Invalid, i.e. no delimiter
  table['\n'] = TokenKind::Newline;
  table[','] = TokenKind::Comma;
  table[';'] = TokenKind::Semicolon;
  table['+'] = TokenKind::Plus;
  table['-'] = TokenKind::Minus;
  table['&'] = TokenKind::Ampersand;
  table['|'] = TokenKind::Bar;
  table['*'] = TokenKind::Star;
  table['/'] = TokenKind::Slash;
  table['%'] = TokenKind::Percent;
  table['('] = TokenKind::LeftParen;
  table[')'] = TokenKind::RightParen;
  table['<'] = TokenKind::Less;
  table['>'] = TokenKind::Greater;
  table['='] = TokenKind::Equals;
  return table;
}

inline constexpr std::array<TokenKind, 256> kDelimiterTable = makeDelimiterTable();

}  // namespace detail

// The kind of a one-character token, or Invalid when c is no delimiter.
constexpr TokenKind classifyDelimiter(char c) {
  return detail::kDelimiterTable[static_cast<unsigned char>(c)];
}

// The operators of the three binary levels, loosest first.
constexpr bool isRelational(TokenKind kind) {
  return kind == TokenKind::Less || kind == TokenKind::Greater || kind == TokenKind::Equals;
}
constexpr bool isAdditive(TokenKind kind) {
  return kind == TokenKind::Plus || kind == TokenKind::Minus || kind == TokenKind::Ampersand ||
         kind == TokenKind::Bar;
}
constexpr bool isMultiplicative(TokenKind kind) {
  return kind == TokenKind::Star || kind == TokenKind::Slash || kind == TokenKind::Percent;
}

}  // namespace linebasic

// What the language server asks of a program text, answered as a run would: the tokens the
// interpreter's scanner reads, the jumps, and the line a jump finds. All offsets are bytes of
// the text as a run reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "interpreter/interpreter.h"
#include "scanner/tokens.h"

namespace linebasic::lsp {

struct Token {
  TokenKind kind = TokenKind::Invalid;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// Calls `visit` with each token a scan of `text` from the top meets, as the run's scanner reads
// it: what the run skips is one Invalid token, a literal may run over line-feeds. The scan stops
// at the end of the text or its first NUL, or when `visit` returns false.
template <typename Visit>
void forEachToken(const std::string& text, Visit visit) {
  Interpreter scan;
  scan.load(text.c_str());
  while (scan.token != TokenKind::EndOfText) {
    const Token token{scan.token, static_cast<std::size_t>(scan.tokenStart - scan.programText),
                      static_cast<std::size_t>(scan.tokenEnd - scan.programText)};
    if constexpr (std::is_same_v<decltype(visit(token)), bool>) {
      if (!visit(token)) return;
    } else {
      visit(token);
    }
    scan.advance();
  }
}

constexpr bool isKeyword(TokenKind kind) {
  return kind >= TokenKind::Let && kind <= TokenKind::End;
}

// A GOTO or GOSUB and the token after it, whose text the run converts to the line number.
struct Jump {
  Token keyword;
  Token target;
  std::int32_t line;  // the number it converts to
};
std::vector<Jump> jumpsOf(const std::string& text);

// The number that starts a line, after blanks: its value and its digits.
struct LineNumber {
  std::int32_t value;
  std::size_t begin;
  std::size_t end;
};
std::optional<LineNumber> lineNumberAt(const std::string& text, std::size_t lineStart);

// Where a jump to line `n` goes, as the run's line search finds it: the offset of the number
// that starts the first line carrying n; nothing when the run would end instead.
std::optional<std::size_t> findLine(const std::string& text, std::int32_t n);

// Every line a jump can find, by number, at the offset findLine gives: what the run's line
// search finds, for all numbers at once.
std::map<std::int32_t, std::size_t> numberedLines(const std::string& text);

// What stands at `offset`: the token that holds it, else the one that ends there; and, when
// that token is a jump's target, the jump.
struct Spot {
  Token token;
  std::optional<Jump> jump;
};
std::optional<Spot> spotAt(const std::string& text, std::size_t offset);

// A FOR and the NEXT that ends its loop: the first NEXT below it that names its variable.
struct Loop {
  Token keyword;
  char variable;
  std::optional<std::size_t> next;  // the NEXT's offset; nothing when no NEXT names it
};
std::vector<Loop> loopsOf(const std::string& text);

// The offsets of the tokens of one kind, in text order.
std::vector<std::size_t> offsetsOf(const std::string& text, TokenKind kind);

// One line on what a keyword does in this dialect.
std::string_view keywordSummary(TokenKind kind);

}  // namespace linebasic::lsp

#include "lsp/program.h"

#include <array>
#include <utility>

#include "scanner/scanner.h"

namespace linebasic::lsp {

std::vector<Jump> jumpsOf(const std::string& text) {
  std::vector<Jump> jumps;
  std::optional<Token> keyword;
  forEachToken(text, [&](const Token& token) {
    if (keyword) {
      jumps.push_back({*keyword, token, decimalValue(text.c_str() + token.begin)});
      keyword.reset();
    }
    if (token.kind == TokenKind::Goto || token.kind == TokenKind::Gosub) keyword = token;
  });
  if (keyword) {  // the text ends after the keyword: the run converts nothing, which is 0
    jumps.push_back({*keyword, {TokenKind::EndOfText, text.size(), text.size()}, 0});
  }
  return jumps;
}

std::optional<LineNumber> lineNumberAt(const std::string& text, std::size_t lineStart) {
  const char* const start = skipBlanks(text.c_str() + lineStart);
  const char* end = start;
  while (isDigit(*end))
    ++end;
  if (end == start) return {};
  const auto offset = [&text](const char* at) {
    return static_cast<std::size_t>(at - text.c_str());
  };
  return LineNumber{decimalValue(start), offset(start), offset(end)};
}

std::optional<std::size_t> findLine(const std::string& text, std::int32_t n) {
  Interpreter run;
  run.load(text.c_str());
  run.jumpToLine(n);
  if (run.token == TokenKind::EndOfText) return {};
  return static_cast<std::size_t>(run.tokenStart - run.programText);
}

std::map<std::int32_t, std::size_t> numberedLines(const std::string& text) {
  std::map<std::int32_t, std::size_t> lines;
  if (text.empty() || text.front() == '\0') return lines;
  lines.emplace(decimalValue(text.c_str()), 0);  // the first line is tested on the text itself
  TokenKind before = TokenKind::Newline;
  forEachToken(text, [&](const Token& token) {
    if (before == TokenKind::Newline && token.kind == TokenKind::Number && token.begin != 0)
      lines.emplace(decimalValue(text.c_str() + token.begin), token.begin);
    before = token.kind;
  });
  return lines;
}

std::optional<Spot> spotAt(const std::string& text, std::size_t offset) {
  std::optional<Spot> found;
  std::optional<Token> jumpKeyword;
  forEachToken(text, [&](const Token& token) {
    if (token.begin > offset) return false;
    if (token.end >= offset && token.kind != TokenKind::Newline) {
      found = Spot{token, {}};
      if (jumpKeyword) {
        found->jump = Jump{*jumpKeyword, token, decimalValue(text.c_str() + token.begin)};
      }
      if (token.end > offset) return false;  // one that only ends there yields to one that holds it
    }
    jumpKeyword.reset();
    if (token.kind == TokenKind::Goto || token.kind == TokenKind::Gosub) jumpKeyword = token;
    return true;
  });
  return found;
}

std::vector<Loop> loopsOf(const std::string& text) {
  std::vector<Loop> loops;
  std::array<std::vector<std::size_t>, 26> open;  // by variable, the loops whose NEXT is to come
  TokenKind before = TokenKind::Newline;
  std::size_t beforeAt = 0;
  forEachToken(text, [&](const Token& token) {
    const char variable = text[token.begin];
    std::vector<std::size_t>* const named = token.kind == TokenKind::Variable
                                                ? &open[static_cast<std::size_t>(variable - 'a')]
                                                : nullptr;
    if (named != nullptr && before == TokenKind::For) {
      named->push_back(loops.size());
      loops.push_back({{TokenKind::For, beforeAt, beforeAt + 3}, variable, {}});
    } else if (named != nullptr && before == TokenKind::Next && !named->empty()) {
      loops[named->back()].next = beforeAt;  // the innermost open loop of that variable
      named->pop_back();
    }
    before = token.kind;
    beforeAt = token.begin;
  });
  return loops;
}

std::vector<std::size_t> offsetsOf(const std::string& text, TokenKind kind) {
  std::vector<std::size_t> offsets;
  forEachToken(text, [&](const Token& token) {
    if (token.kind == kind) offsets.push_back(token.begin);
  });
  return offsets;
}

std::string_view keywordSummary(TokenKind kind) {
  static constexpr std::array<std::pair<TokenKind, std::string_view>, 13> kSummaries = {{
      {TokenKind::Let,
       "let v = expression: stores the value's low 8 bits in the variable v (-128 to 127); "
       "'let' may be left out"},
      {TokenKind::Print,
       "print items: writes literals (their first 40 bytes), numbers and variables back to "
       "back, a space for each ',', nothing for ';', and ends the output line"},
      {TokenKind::If,
       "if condition then statement else statement: runs the statement after 'then' when the "
       "condition is not 0, otherwise the one after its own 'else' or nothing on the line"},
      {TokenKind::Then, "then: the statement after it runs when the IF's condition is not 0"},
      {TokenKind::Else, "else: the statement after it runs when the IF's condition is 0"},
      {TokenKind::For,
       "for v = start to limit: sets v and runs the lines down to 'next v', which adds one "
       "and goes back until v exceeds the limit; the body runs at least once"},
      {TokenKind::To, "to: separates a FOR's start from its limit"},
      {TokenKind::Next,
       "next v: adds one to v and goes back to the body of the innermost loop, when it is "
       "v's, until v exceeds the limit"},
      {TokenKind::Goto,
       "goto n: goes on at the first line numbered n, searched from the top; the run ends "
       "when there is none"},
      {TokenKind::Gosub,
       "gosub n: calls the first line numbered n; 'return' comes back to the line after this "
       "one (at most 10 calls are open at once)"},
      {TokenKind::Return,
       "return: goes back to the line after the latest open 'gosub'; without one it does "
       "nothing"},
      {TokenKind::Call, "call: a keyword without a statement; the run skips it"},
      {TokenKind::End, "end: ends the run"},
  }};
  for (const auto& [keyword, summary] : kSummaries) {
    if (keyword == kind) return summary;
  }
  return {};
}

}  // namespace linebasic::lsp

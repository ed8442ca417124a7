// The answers that show how the text reads: its symbols (subroutines and loops) and its
// semantic tokens.
#include <algorithm>
#include <map>
#include <vector>

#include "lsp/features.h"
#include "lsp/program.h"

namespace linebasic::lsp {
namespace {

// The semantic token types, in the legend's order.
enum class TokenType { Keyword, Number, String, Variable, Operator, Comment, None };
constexpr std::array<std::string_view, 6> kTokenTypeNames = {"keyword",  "number",   "string",
                                                             "variable", "operator", "comment"};

// What the run makes of a token: a word it skips reads as a comment.
TokenType typeOf(TokenKind kind) {
  if (isKeyword(kind)) return TokenType::Keyword;
  switch (kind) {
    case TokenKind::Number:
      return TokenType::Number;
    case TokenKind::String:
      return TokenType::String;
    case TokenKind::Variable:
      return TokenType::Variable;
    case TokenKind::Invalid:
      return TokenType::Comment;
    case TokenKind::Newline:
    case TokenKind::EndOfText:
      return TokenType::None;
    default:
      return TokenType::Operator;
  }
}

// The semantic tokens' numbers: five for each token, its line and start relative to the token
// before it, in UTF-16 code units as positions are.
class TokenEncoder {
 public:
  explicit TokenEncoder(const Document& document) : document_(document) {}

  // A token from `begin` to `end`, one for each line it covers.
  void add(std::size_t begin, std::size_t end, TokenType type) {
    const std::string& text = document_.text();
    while (begin < end) {
      const std::size_t lineFeed = std::min(text.find('\n', begin), end);
      if (lineFeed > begin) addOnLine(begin, lineFeed, type);
      begin = lineFeed + 1;
    }
  }

  std::vector<int> take() { return std::move(data_); }

 private:
  void addOnLine(std::size_t begin, std::size_t end, TokenType type) {
    const char* const text = document_.text().c_str();
    while (line_ + 1 < document_.lineCount() && document_.lineStart(line_ + 1) <= begin) {
      ++line_;
      at_ = document_.lineStart(line_);
      units_ = 0;
    }
    units_ += utf16Units(text + at_, text + begin);
    at_ = begin;
    data_.insert(data_.end(), {line_ - lastLine_, line_ == lastLine_ ? units_ - lastUnits_ : units_,
                               utf16Units(text + begin, text + end), static_cast<int>(type), 0});
    lastLine_ = line_;
    lastUnits_ = units_;
  }

  const Document& document_;
  std::vector<int> data_;
  int line_ = 0;        // the line of the last token
  std::size_t at_ = 0;  // the offset of the last token's start
  int units_ = 0;       // the UTF-16 code units from its line's start to there
  int lastLine_ = 0;    // the same, for the token emitted last
  int lastUnits_ = 0;
};

struct Symbol {
  std::string name;
  std::string detail;
  int kind;
  std::size_t begin;
  std::size_t end;
  std::size_t nameBegin;  // what the editor selects: the line number or the FOR statement
  std::size_t nameEnd;
};

json symbolJson(const Document& document, const Symbol& symbol) {
  return {{"name", symbol.name},
          {"detail", symbol.detail},
          {"kind", symbol.kind},
          {"range", document.rangeOf(symbol.begin, symbol.end)},
          {"selectionRange", document.rangeOf(symbol.nameBegin, symbol.nameEnd)},
          {"children", json::array()}};
}

// Each line a GOSUB calls, from its start to the end of the line with the first RETURN below.
std::vector<Symbol> subroutines(const Document& document) {
  const std::string& text = document.text();
  std::map<std::int32_t, int> calls;
  for (const Jump& jump : jumpsOf(text)) {
    if (jump.keyword.kind == TokenKind::Gosub) ++calls[jump.line];
  }
  const std::map<std::int32_t, std::size_t> lines = numberedLines(text);
  const std::vector<std::size_t> returns = offsetsOf(text, TokenKind::Return);
  std::vector<Symbol> symbols;
  for (const auto& [number, count] : calls) {
    const auto found = lines.find(number);
    if (found == lines.end()) continue;
    const int line = document.positionOf(found->second).line;
    const auto next = std::lower_bound(returns.begin(), returns.end(), found->second);
    const int lastLine = next == returns.end() ? line : document.positionOf(*next).line;
    const std::optional<LineNumber> name = lineNumberAt(text, document.lineStart(line));
    const std::size_t nameBegin = name ? name->begin : found->second;
    symbols.push_back({"subroutine " + std::to_string(number),
                       "called by " + std::to_string(count) + (count == 1 ? " GOSUB" : " GOSUBs"),
                       kSymbolFunction, document.lineStart(line), document.lineEnd(lastLine),
                       nameBegin, name ? name->end : nameBegin});
  }
  return symbols;
}

// Each FOR, from its line to the line of its NEXT.
std::vector<Symbol> loops(const Document& document) {
  constexpr std::size_t kNameMax = 40;
  std::vector<Symbol> symbols;
  for (const Loop& loop : loopsOf(document.text())) {
    const int line = document.positionOf(loop.keyword.begin).line;
    const std::size_t statementEnd = document.lineEnd(line);
    std::string name =
        document.text().substr(loop.keyword.begin, statementEnd - loop.keyword.begin);
    if (name.size() > kNameMax) name = name.substr(0, kNameMax) + "...";
    const int nextLine = loop.next ? document.positionOf(*loop.next).line : line;
    std::string detail = loop.next ? "next " + std::string(1, loop.variable) + " on text line " +
                                         std::to_string(nextLine + 1)
                                   : "no NEXT below names " + std::string(1, loop.variable);
    symbols.push_back({std::move(name), std::move(detail), kSymbolVariable,
                       document.lineStart(line), document.lineEnd(nextLine), loop.keyword.begin,
                       statementEnd});
  }
  return symbols;
}

}  // namespace

json semanticTokensLegend() {
  return {{"tokenTypes", kTokenTypeNames}, {"tokenModifiers", json::array()}};
}

json semanticTokens(const Document& document) {
  TokenEncoder encoder(document);
  forEachToken(document.text(), [&](const Token& token) {
    const TokenType type = typeOf(token.kind);
    if (type != TokenType::None) encoder.add(token.begin, token.end, type);
  });
  return {{"data", encoder.take()}};
}

// The symbols nest by their ranges: a loop inside a subroutine is its child.
json documentSymbols(const Document& document) {
  std::vector<Symbol> symbols = subroutines(document);
  std::vector<Symbol> found = loops(document);
  symbols.insert(symbols.end(), found.begin(), found.end());
  std::stable_sort(symbols.begin(), symbols.end(), [](const Symbol& a, const Symbol& b) {
    return a.begin != b.begin ? a.begin < b.begin : a.end > b.end;
  });
  json top = json::array();
  std::vector<std::pair<json*, std::size_t>> open;  // the enclosing symbols and their ends
  for (const Symbol& symbol : symbols) {
    while (!open.empty() && open.back().second < symbol.end)
      open.pop_back();
    json& into = open.empty() ? top : (*open.back().first)["children"];
    into.push_back(symbolJson(document, symbol));
    open.emplace_back(&into.back(), symbol.end);
  }
  return top;
}

}  // namespace linebasic::lsp

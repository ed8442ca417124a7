// The answers that tell what the run does: warnings and their fixes, hovers, symbols and the
// semantic tokens.
#include "lsp/features.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "edit/fix.h"
#include "lsp/program.h"
#include "scanner/scanner.h"

namespace linebasic::lsp {
namespace {

// What a warning covers from `offset`: a literal to its end or its line's end, a delimiter
// (two for a pair such as '<='), any other word to the next blank, line-feed or end.
std::size_t warnedEnd(const std::string& text, std::size_t offset) {
  if (offset >= text.size() || text[offset] == '\n') return offset;
  const char* const at = text.c_str() + offset;
  const char* end = nullptr;
  if (*at == '"') {
    end = std::min(literalEnd(at), at + std::strcspn(at, "\n"));
  } else if (classifyDelimiter(*at) != TokenKind::Invalid) {
    end =
        at +
        (isRelational(classifyDelimiter(at[0])) && isRelational(classifyDelimiter(at[1])) ? 2 : 1);
  } else {
    end = wordEnd(at);
  }
  return static_cast<std::size_t>(end - text.c_str());
}

Range warnedRange(const Document& document, const Diagnostic& diagnostic) {
  const std::size_t offset = document.offsetOf(diagnostic);
  return document.rangeOf(offset, warnedEnd(document.text(), offset));
}

// `text` with LF line ends turned into the editor's CR-LF when the document uses them.
std::string asEditorText(const Document& document, std::string_view text) {
  std::string written;
  for (const char c : text) {
    if (c == '\n' && document.usesCrLf()) written += '\r';
    written += c;
  }
  return written;
}

json textEdit(const Document& document, std::size_t begin, std::size_t end,
              std::string_view newText) {
  return {{"range", document.rangeOf(begin, end)}, {"newText", asEditorText(document, newText)}};
}

// The one edit that turns the document's text into `mended`: what lies between their common
// start and their common end.
json wholeEdit(const Document& document, std::string_view mended) {
  const std::string& text = document.text();
  const std::size_t shorter = std::min(text.size(), mended.size());
  std::size_t head = 0;
  while (head < shorter && text[head] == mended[head])
    ++head;
  std::size_t tail = 0;
  while (tail < shorter - head && text[text.size() - 1 - tail] == mended[mended.size() - 1 - tail])
    ++tail;
  return textEdit(document, head, text.size() - tail,
                  mended.substr(head, mended.size() - tail - head));
}

// What a fix is titled by: the warning's advice, its message's last part ("write 'print'").
std::string adviceOf(const Diagnostic& diagnostic) {
  const std::size_t last = diagnostic.message.rfind("; ");
  std::string advice = last == std::string::npos || last + 2 == diagnostic.message.size()
                           ? "apply the fix"
                           : diagnostic.message.substr(last + 2);
  if (isLower(advice.front())) advice.front() = static_cast<char>(advice.front() - 'a' + 'A');
  return advice;
}

bool touches(const Range& a, const Range& b) {
  const auto before = [](const Position& x, const Position& y) {
    return x.line < y.line || (x.line == y.line && x.character < y.character);
  };
  return !before(a.end, b.start) && !before(b.end, a.start);
}

json lspDiagnostic(const Document& document, const Diagnostic& diagnostic) {
  return {{"range", warnedRange(document, diagnostic)},
          {"severity", kSeverityWarning},
          {"code", diagnostic.name},
          {"source", "linebasic"},
          {"message", diagnostic.message}};
}

// The text of the line that holds `offset`, cut short for a hover.
std::string lineTextAt(const Document& document, std::size_t offset) {
  constexpr std::size_t kShownMax = 80;
  const int line = document.positionOf(offset).line;
  const std::size_t start = document.lineStart(line);
  const std::size_t length = document.lineEnd(line) - start;
  std::string shown = document.text().substr(start, std::min(length, kShownMax));
  if (length > kShownMax) shown += "...";
  return shown;
}

std::string jumpHover(const Document& document, const Jump& jump) {
  const std::string& text = document.text();
  const std::string keyword =
      text.substr(jump.keyword.begin, jump.keyword.end - jump.keyword.begin);
  const std::string head = keyword + " " + std::to_string(jump.line) + ": ";
  const std::optional<std::size_t> line = findLine(text, jump.line);
  if (!line) return head + "no line is numbered " + std::to_string(jump.line) + ": the run ends";
  const std::string where = "text line " + std::to_string(document.positionOf(*line).line + 1) +
                            ": " + lineTextAt(document, *line);
  if (jump.keyword.kind == TokenKind::Goto) return head + "goes on at " + where;
  return head + "calls " + where + "\n'return' comes back to the line after this one";
}

std::string lineNumberHover(const Document& document, const LineNumber& number) {
  int jumps = 0;
  for (const Jump& jump : jumpsOf(document.text()))
    jumps += jump.line == number.value ? 1 : 0;
  const std::string line = "line " + std::to_string(number.value) + ": ";
  if (jumps == 0) return line + "no GOTO or GOSUB names it";
  return line + std::to_string(jumps) + (jumps == 1 ? " jump goes" : " jumps go") + " to it";
}

// What the run does with the token at `spot`; empty when there is nothing to say.
std::string tokenHover(const Document& document, const Spot& spot) {
  const std::string& text = document.text();
  if (spot.jump) return jumpHover(document, *spot.jump);
  if (isKeyword(spot.token.kind)) return std::string(keywordSummary(spot.token.kind));
  if (spot.token.kind == TokenKind::Variable) {
    return std::string("variable ") + text[spot.token.begin] +
           ": one of the 26 (a to z), each holding -128 to 127, all 0 when a run starts";
  }
  const int line = document.positionOf(spot.token.begin).line;
  const std::optional<LineNumber> number = lineNumberAt(text, document.lineStart(line));
  if (spot.token.kind == TokenKind::Number && number && number->begin == spot.token.begin)
    return lineNumberHover(document, *number);
  return {};
}

}  // namespace

json diagnosticsOf(Document& document) {
  json diagnostics = json::array();
  for (const Diagnostic& diagnostic : document.diagnostics()) {
    if (diagnostics.size() == kPublishedMax) break;
    diagnostics.push_back(lspDiagnostic(document, diagnostic));
  }
  return diagnostics;
}

json codeActions(Document& document, const std::string& uri, const Range& range) {
  json actions = json::array();
  int fixes = 0;
  for (const Diagnostic& diagnostic : document.diagnostics()) {
    if (!diagnostic.fix) continue;
    ++fixes;
    if (!touches(warnedRange(document, diagnostic), range)) continue;
    const Fix& fix = *diagnostic.fix;
    json edit = textEdit(document, fix.offset, fix.offset + fix.length, fix.replacement);
    actions.push_back({{"title", adviceOf(diagnostic)},
                       {"kind", "quickfix"},
                       {"diagnostics", json::array({lspDiagnostic(document, diagnostic)})},
                       {"isPreferred", true},
                       {"edit", {{"changes", {{uri, json::array({std::move(edit)})}}}}}});
  }
  if (fixes > 1 && !actions.empty()) {
    const Fixed fixed = applyFixes(document.text());
    actions.push_back(
        {{"title", "Fix all"},
         {"kind", "quickfix"},
         {"edit", {{"changes", {{uri, json::array({wholeEdit(document, fixed.text)})}}}}}});
  }
  return actions;
}

json hover(Document& document, const Position& position) {
  const std::size_t offset = document.offsetOf(position);
  std::string said;
  std::optional<Range> range;
  for (const Diagnostic& diagnostic : document.diagnostics()) {
    const std::size_t begin = document.offsetOf(diagnostic);
    const std::size_t end = warnedEnd(document.text(), begin);
    if (offset < begin || offset > end) continue;
    said += (said.empty() ? "" : "\n\n") + std::string(diagnostic.name) + ": " + diagnostic.message;
    range = document.rangeOf(begin, end);
  }
  if (said.empty()) {
    const std::optional<Spot> spot = spotAt(document.text(), offset);
    if (!spot) return nullptr;
    said = tokenHover(document, *spot);
    range = document.rangeOf(spot->token.begin, spot->token.end);
  }
  if (said.empty()) return nullptr;
  return {{"contents", {{"kind", "plaintext"}, {"value", said}}}, {"range", *range}};
}

}  // namespace linebasic::lsp

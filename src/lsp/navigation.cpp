// The answers that follow the jumps: definitions, references, and renaming a line number by
// the renumbering library.
#include <optional>

#include "edit/renumber.h"
#include "lsp/features.h"
#include "lsp/program.h"
#include "scanner/scanner.h"

namespace linebasic::lsp {
namespace {

// A line number the cursor stands on: a jump's target, or the number that starts a line; and
// where a jump to it goes, as the run's line search finds it.
struct NumberAt {
  std::int32_t value;
  std::size_t begin;
  std::size_t end;
  std::optional<std::size_t> line;  // nothing: the run finds no such line
};

std::optional<NumberAt> numberAt(const Document& document, const Position& position) {
  const std::string& text = document.text();
  const std::size_t offset = document.offsetOf(position);
  const std::optional<LineNumber> start = lineNumberAt(text, document.lineStart(position.line));
  if (start && start->begin <= offset && offset <= start->end) {
    const std::optional<std::size_t> line = findLine(text, start->value);
    // A line that jumps to its number never reach (one numbered as a line above) has none.
    if (!line || document.positionOf(*line).line != position.line) return {};
    return NumberAt{start->value, start->begin, start->end, line};
  }
  const std::optional<Spot> spot = spotAt(text, offset);
  if (!spot || !spot->jump) return {};
  const Token& target = spot->jump->target;
  return NumberAt{spot->jump->line, target.begin, target.end, findLine(text, spot->jump->line)};
}

// The range of the number that starts the line a jump finds at `line`.
Range lineNumberRange(const Document& document, std::size_t line) {
  const std::optional<LineNumber> number =
      lineNumberAt(document.text(), document.lineStart(document.positionOf(line).line));
  return number ? document.rangeOf(number->begin, number->end) : document.rangeOf(line, line);
}

// The edits that turn the document's text into `renumbered`, which differs from it only in
// runs of digits: one edit for each run that changed.
json numberEdits(const Document& document, const std::string& renumbered) {
  const std::string& text = document.text();
  json edits = json::array();
  std::size_t old = 0;
  std::size_t now = 0;
  while (old < text.size() || now < renumbered.size()) {
    if (old < text.size() && now < renumbered.size() && text[old] == renumbered[now]) {
      ++old;
      ++now;
      continue;
    }
    while (old > 0 && isDigit(text[old - 1])) {  // the run of digits began before the change
      --old;
      --now;
    }
    std::size_t oldEnd = old;
    while (oldEnd < text.size() && isDigit(text[oldEnd]))
      ++oldEnd;
    std::size_t nowEnd = now;
    while (nowEnd < renumbered.size() && isDigit(renumbered[nowEnd]))
      ++nowEnd;
    if (oldEnd == old || nowEnd == now) {  // not a number that changed: the rest, in one edit
      oldEnd = text.size();
      nowEnd = renumbered.size();
    }
    edits.push_back({{"range", document.rangeOf(old, oldEnd)},
                     {"newText", renumbered.substr(now, nowEnd - now)}});
    old = oldEnd;
    now = nowEnd;
  }
  return edits;
}

json renumbered(const Document& document, const std::string& uri, const RenumberRequest& request) {
  const Renumbered result = renumber(document.text(), request);
  if (result.refusal) {
    const Refusal& refusal = *result.refusal;
    const std::string where = refusal.textLine > 0 ? std::to_string(refusal.textLine) + ":" +
                                                         std::to_string(refusal.column) + ": "
                                                   : "";
    throw ResponseError(error::kRequestFailed, "cannot renumber: " + where + refusal.message);
  }
  return {{"changes", {{uri, numberEdits(document, result.text)}}}};
}

}  // namespace

json definition(const Document& document, const std::string& uri, const Position& position) {
  const std::optional<Spot> spot = spotAt(document.text(), document.offsetOf(position));
  if (!spot || !spot->jump) return nullptr;
  const std::optional<std::size_t> line = findLine(document.text(), spot->jump->line);
  if (!line) return nullptr;
  return location(uri, lineNumberRange(document, *line));
}

json references(const Document& document, const std::string& uri, const Position& position,
                bool includeDeclaration) {
  const std::optional<NumberAt> number = numberAt(document, position);
  if (!number) return nullptr;
  json found = json::array();
  if (includeDeclaration && number->line)
    found.push_back(location(uri, lineNumberRange(document, *number->line)));
  for (const Jump& jump : jumpsOf(document.text())) {
    if (jump.line == number->value)
      found.push_back(location(uri, document.rangeOf(jump.target.begin, jump.target.end)));
  }
  return found;
}

json prepareRename(const Document& document, const Position& position) {
  const std::optional<NumberAt> number = numberAt(document, position);
  if (!number || !number->line) return nullptr;
  return {{"range", document.rangeOf(number->begin, number->end)},
          {"placeholder", std::to_string(number->value)}};
}

json rename(const Document& document, const std::string& uri, const Position& position,
            const std::string& newName) {
  const std::optional<NumberAt> number = numberAt(document, position);
  if (!number) throw ResponseError(error::kRequestFailed, "only a line number can be renamed");
  if (!number->line) {
    throw ResponseError(error::kRequestFailed,
                        "no line is numbered " + std::to_string(number->value));
  }
  const bool digits = !newName.empty() && newName.size() <= 4 &&
                      newName.find_first_not_of("0123456789") == std::string::npos;
  if (!digits) {
    throw ResponseError(error::kRequestFailed,
                        "a line number has one to four digits, not '" + newName + "'");
  }
  const std::int32_t to = decimalValue(newName.c_str());
  return renumbered(document, uri, {to, 1, number->value, number->value});
}

json renumberEdit(const Document& document, const std::string& uri, int start, int step) {
  return renumbered(document, uri, {start, step, 0, kLineNumberMax});
}

}  // namespace linebasic::lsp

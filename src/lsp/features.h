// The answers of the language server, each the result of one request on one document, made
// from the checker, the fixes, the renumbering and the interpreter's own scanner and line search.
#pragma once

#include <string>

#include "lsp/document.h"
#include "lsp/protocol.h"

namespace linebasic::lsp {

// The token types of the semantic tokens, in the legend's order.
json semanticTokensLegend();

// textDocument/publishDiagnostics: the checker's warnings, the first kPublishedMax of them: no
// editor shows more, and a warning on each line of a huge text would make a message of
// hundreds of megabytes on every change.
inline constexpr std::size_t kPublishedMax = 10'000;
json diagnosticsOf(Document& document);

// textDocument/codeAction: a quick fix for each warning in `range` that has one, and "Fix all"
// when the text has several.
json codeActions(Document& document, const std::string& uri, const Range& range);

// textDocument/hover: the warnings at the position, else what the run does with the token there.
json hover(Document& document, const Position& position);

// textDocument/documentSymbol: the subroutines (lines a GOSUB calls) and the FOR loops.
json documentSymbols(const Document& document);

// textDocument/semanticTokens/full: every token as the run's scanner reads it.
json semanticTokens(const Document& document);

// textDocument/definition and textDocument/references: from a jump's target to its line, and
// from a line's number or a target to every jump that reaches that line.
json definition(const Document& document, const std::string& uri, const Position& position);
json references(const Document& document, const std::string& uri, const Position& position,
                bool includeDeclaration);

// textDocument/prepareRename and textDocument/rename: a line's number, and every target that
// names it, renumbered to `newName`. Throws ResponseError with the renumbering's refusal.
json prepareRename(const Document& document, const Position& position);
json rename(const Document& document, const std::string& uri, const Position& position,
            const std::string& newName);

// The workspace edit that renumbers the whole text from `start` by `step`; throws ResponseError
// with the renumbering's refusal.
json renumberEdit(const Document& document, const std::string& uri, int start, int step);

}  // namespace linebasic::lsp

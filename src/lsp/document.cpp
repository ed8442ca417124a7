#include "lsp/document.h"

#include <algorithm>
#include <cstring>

namespace linebasic::lsp {
namespace {

constexpr bool isContinuationByte(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// The UTF-16 code units of the character whose first byte is `c`: two beyond the basic plane.
constexpr int unitsOfLead(char c) {
  return static_cast<unsigned char>(c) >= 0xF0 ? 2 : 1;
}

// The offset where line `line` of `text` starts, or the text's end when it has fewer lines.
std::size_t findLineStart(std::string_view text, int line) {
  std::size_t at = 0;
  for (int passed = 0; passed < line; ++passed) {
    const std::size_t lineFeed = text.find('\n', at);
    if (lineFeed == std::string_view::npos) return text.size();
    at = lineFeed + 1;
  }
  return at;
}

// The offset of `position` in `text`, whose line `position.line` starts at `start`.
std::size_t offsetInLine(std::string_view text, std::size_t start, int character) {
  const char* const begin = text.data();
  return static_cast<std::size_t>(advanceUnits(begin + start, begin + text.size(), character) -
                                  begin);
}

}  // namespace

int utf16Units(const char* begin, const char* end) {
  int units = 0;
  for (const char* at = begin; at != end; ++at) {
    if (!isContinuationByte(*at)) units += unitsOfLead(*at);
  }
  return units;
}

const char* advanceUnits(const char* lineStart, const char* end, int units) {
  const char* at = lineStart;
  while (at != end && *at != '\n') {
    const int width = unitsOfLead(*at);
    if (width > units) break;
    units -= width;
    ++at;
    while (at != end && isContinuationByte(*at))
      ++at;
  }
  return at;
}

Document::Document(std::string text, std::int64_t version)
    : editorText_(std::move(text)), version_(version) {
  analyse();
}

void Document::replace(std::string text, std::int64_t version) {
  editorText_ = std::move(text);
  version_ = version;
  analyse();
}

void Document::edit(const Range& range, std::string_view newText, std::int64_t version) {
  const std::size_t startLine = findLineStart(editorText_, range.start.line);
  std::size_t begin = offsetInLine(editorText_, startLine, range.start.character);
  const std::size_t endLine =
      range.end.line == range.start.line ? startLine : findLineStart(editorText_, range.end.line);
  std::size_t end = offsetInLine(editorText_, endLine, range.end.character);
  if (range.end.line < range.start.line) end = begin;  // a reversed range replaces nothing
  begin = std::min(begin, end);
  editorText_.replace(begin, end - begin, newText);
  version_ = version;
  analyse();
}

// Drops the carriage return of each CR-LF and notes where the lines start.
void Document::analyse() {
  text_.clear();
  text_.reserve(editorText_.size());
  usesCrLf_ = false;
  lineStarts_.assign(1, 0);
  const char* at = editorText_.data();
  const char* const end = at + editorText_.size();
  while (at != end) {
    const auto* lineFeed = static_cast<const char*>(std::memchr(at, '\n', end - at));
    if (lineFeed == nullptr) {
      text_.append(at, end);
      break;
    }
    const bool crLf = lineFeed != at && lineFeed[-1] == '\r';
    usesCrLf_ = usesCrLf_ || crLf;
    text_.append(at, crLf ? lineFeed - 1 : lineFeed);
    text_ += '\n';
    lineStarts_.push_back(text_.size());
    at = lineFeed + 1;
  }
  diagnostics_.reset();
}

std::size_t Document::lineStart(int line) const {
  if (line < 0) return 0;
  if (line >= lineCount()) return text_.size();
  return lineStarts_[static_cast<std::size_t>(line)];
}

std::size_t Document::lineEnd(int line) const {
  if (line + 1 >= lineCount()) return text_.size();
  return lineStarts_[static_cast<std::size_t>(line) + 1] - 1;
}

std::size_t Document::offsetOf(const Position& position) const {
  if (position.line >= lineCount()) return text_.size();
  return offsetInLine(text_, lineStart(position.line), position.character);
}

Position Document::positionOf(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
  const auto line = static_cast<int>(next - lineStarts_.begin()) - 1;
  const char* const start = text_.data() + lineStarts_[static_cast<std::size_t>(line)];
  return {line, utf16Units(start, text_.data() + offset)};
}

Range Document::rangeOf(std::size_t begin, std::size_t end) const {
  return {positionOf(begin), positionOf(end)};
}

const std::vector<Diagnostic>& Document::diagnostics() {
  if (!diagnostics_) diagnostics_ = checkProgram(text_);
  return *diagnostics_;
}

std::size_t Document::offsetOf(const Diagnostic& diagnostic) const {
  return std::min(lineStart(diagnostic.line - 1) + static_cast<std::size_t>(diagnostic.column - 1),
                  text_.size());
}

}  // namespace linebasic::lsp

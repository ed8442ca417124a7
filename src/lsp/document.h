// An open document of the language server: its text as the editor holds it, the same text as a
// run reads it, and the conversions between the editor's positions (lines and UTF-16 code units)
// and the byte offsets the scanner and the checker work in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"

namespace linebasic::lsp {

// A place between two characters: a 0-based line and a 0-based count of UTF-16 code units.
struct Position {
  int line = 0;
  int character = 0;
  bool operator==(const Position&) const = default;
};

struct Range {
  Position start;
  Position end;
  bool operator==(const Range&) const = default;
};

// The UTF-16 code units of the UTF-8 bytes from `begin` to `end`: a byte that starts a
// character of four bytes counts two, any other byte that starts a character one.
int utf16Units(const char* begin, const char* end);

// Past the bytes of `line` (from `lineStart`, ending at a line-feed or `end`) that `units`
// UTF-16 code units cover; never inside a character, never past the line-feed.
const char* advanceUnits(const char* lineStart, const char* end, int units);

class Document {
 public:
  Document(std::string text, std::int64_t version);

  // The whole text replaced, or the part of it between two positions of the text as the editor
  // holds it (CR-LF line ends included).
  void replace(std::string text, std::int64_t version);
  void edit(const Range& range, std::string_view newText, std::int64_t version);

  // The text as a run reads it: CR-LF line ends are LF. Lines and columns are those of the
  // editor's text, since only the carriage return at a line's end is dropped.
  [[nodiscard]] const std::string& text() const { return text_; }
  [[nodiscard]] std::int64_t version() const { return version_; }
  [[nodiscard]] bool usesCrLf() const { return usesCrLf_; }

  // Conversions between positions and offsets in text(); a position past its line's end, or
  // past the last line, is taken as that end.
  [[nodiscard]] std::size_t offsetOf(const Position& position) const;
  [[nodiscard]] Position positionOf(std::size_t offset) const;
  [[nodiscard]] Range rangeOf(std::size_t begin, std::size_t end) const;
  [[nodiscard]] std::size_t lineStart(int line) const;
  [[nodiscard]] std::size_t lineEnd(int line) const;  // on its line-feed, or the text's end
  [[nodiscard]] int lineCount() const { return static_cast<int>(lineStarts_.size()); }

  // The checker's warnings for this version of the text, checked once.
  const std::vector<Diagnostic>& diagnostics();
  // The byte offset a warning points at.
  [[nodiscard]] std::size_t offsetOf(const Diagnostic& diagnostic) const;

 private:
  void analyse();

  std::string editorText_;               // as the editor holds it
  std::string text_;                     // as a run reads it
  std::vector<std::size_t> lineStarts_;  // the offset in text_ where each line starts
  std::int64_t version_;
  bool usesCrLf_ = false;
  std::optional<std::vector<Diagnostic>> diagnostics_;  // checked on first use
};

}  // namespace linebasic::lsp

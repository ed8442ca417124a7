// The checker: reads a program text with the interpreter's own scanner, without running it, and
// says where a run will do something else than its writer most likely meant. It never changes
// what a run does; it only describes it. Besides, it tries the first statements of a run of a
// short text, printing nothing, for the values that run stores out of range.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace linebasic {

// What a warning's advice writes in place of the text's bytes from `offset` on: the run of the
// text so mended does what the original evidently meant.
struct Fix {
  std::size_t offset;       // from the start of the text, in bytes
  std::size_t length;       // of the bytes replaced; 0 inserts
  std::string replacement;  // what is written instead
};

// One warning about a program text.
struct Diagnostic {
  int line;                // 1-based line of the text
  int column;              // 1-based, in bytes
  std::string_view name;   // stable, such as "keyword-case"
  std::string message;     // what the run will do, and what to write instead
  std::optional<Fix> fix;  // only where the warning has one evident meaning
};

// The warnings for `text`, in text order. Like a run, the check stops at the first NUL byte.
// Any text is accepted, and the time taken grows linearly with its length.
std::vector<Diagnostic> checkProgram(std::string_view text);

// "FILE:LINE:COLUMN: warning: MESSAGE [NAME]", the form compilers use; without the "FILE:"
// part when `file` is empty.
std::string formatDiagnostic(const Diagnostic& diagnostic, std::string_view file);

// The line that ends a check, in the form compilers use ("4 warnings generated."), and when
// there are more than kSummaryByNameAbove warnings a line for each name with its count, most
// frequent first. Empty when there are no warnings.
inline constexpr std::size_t kSummaryByNameAbove = 10;
std::string formatSummary(const std::vector<Diagnostic>& diagnostics);

}  // namespace linebasic

// Renumbering a program: new line numbers from a start by a step, for all lines or a range of
// old numbers, with every GOTO and GOSUB target that names a renumbered line rewritten. The run
// of the renumbered text does exactly what the run of the original does; where that cannot be
// promised (a computed target, a line number a statement reads as a value, a target no line
// has, numbers past four digits ...), renumbering refuses and says why, as the checker would.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace linebasic {

// What to renumber: the lines whose old numbers lie in first..last (both included), in text
// order, get start, start + step, ...
struct RenumberRequest {
  std::int32_t start = 10;
  std::int32_t step = 10;
  std::int32_t first = 0;
  std::int32_t last = 9999;
};

// Why a text cannot be renumbered, at the place that keeps it from it.
struct Refusal {
  int textLine;         // 1-based line of the text
  int column;           // 1-based, in bytes
  std::string message;  // what the run does there, and what to write
};

// The renumbered text, or a refusal and no text.
struct Renumbered {
  std::string text;                              // empty when refused
  std::optional<Refusal> refusal;                // set when refused
  std::map<std::int32_t, std::int32_t> numbers;  // old number -> new, each line renumbered
  int targets = 0;                               // jump targets rewritten
  [[nodiscard]] bool ok() const { return !refusal; }
};

// The largest line number the run reads: a number has at most four digits.
inline constexpr std::int32_t kLineNumberMax = 9999;

// `text` renumbered as `request` asks. Every byte but the line numbers and the jump targets
// that change stays as it was. Like a run, the text ends at its first NUL byte; what follows
// it is kept as it is. A request out of range (a start or bound outside 0..9999, a step below 1)
// is refused at text line 0, column 0.
Renumbered renumber(std::string_view text, const RenumberRequest& request);

}  // namespace linebasic

// Mending a program text by its warnings' fixes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"

namespace linebasic {

// A text with every fix of its warnings applied, and the warnings so mended, each as it was
// reported on the text its round read (a fix can bring to light a warning that an earlier one
// hid on its line, so fixing goes round until no warning has a fix, at most kFixRoundsMax times).
struct Fixed {
  std::string text;
  std::vector<Diagnostic> applied;
};
inline constexpr int kFixRoundsMax = 16;
Fixed applyFixes(std::string_view text);

// `text` with `fix` applied.
std::string applyFix(std::string_view text, const Fix& fix);

}  // namespace linebasic

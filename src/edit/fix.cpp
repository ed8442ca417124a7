#include "edit/fix.h"

#include <algorithm>
#include <iterator>

namespace linebasic {

std::string applyFix(std::string_view text, const Fix& fix) {
  const std::size_t offset = std::min(fix.offset, text.size());
  const std::size_t length = std::min(fix.length, text.size() - offset);
  std::string mended(text.substr(0, offset));
  mended += fix.replacement;
  mended += text.substr(offset + length);
  return mended;
}

Fixed applyFixes(std::string_view text) {
  Fixed fixed{std::string(text), {}};
  for (int round = 0; round < kFixRoundsMax; ++round) {
    // The fixes of one round in text order, each clear of the one before; applied from the
    // last, so that the offsets of those before it still hold.
    std::vector<Diagnostic> chosen;
    std::size_t clearFrom = 0;
    for (Diagnostic& diagnostic : checkProgram(fixed.text)) {
      if (!diagnostic.fix || diagnostic.fix->offset < clearFrom) continue;
      clearFrom = diagnostic.fix->offset + std::max<std::size_t>(diagnostic.fix->length, 1);
      chosen.push_back(std::move(diagnostic));
    }
    if (chosen.empty()) break;
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
      fixed.text = applyFix(fixed.text, *it->fix);
    }
    std::move(chosen.begin(), chosen.end(), std::back_inserter(fixed.applied));
  }
  return fixed;
}

}  // namespace linebasic

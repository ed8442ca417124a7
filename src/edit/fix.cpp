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
    // The fixes of one round in text order, each clear of the one before, applied in one pass
    // over the text (a pass per fix would take time as the square of their number).
    std::vector<Diagnostic> chosen;
    std::size_t clearFrom = 0;
    for (Diagnostic& diagnostic : checkProgram(fixed.text)) {
      if (!diagnostic.fix || diagnostic.fix->offset < clearFrom ||
          diagnostic.fix->offset + diagnostic.fix->length > fixed.text.size())
        continue;
      clearFrom = diagnostic.fix->offset + std::max<std::size_t>(diagnostic.fix->length, 1);
      chosen.push_back(std::move(diagnostic));
    }
    if (chosen.empty()) break;
    std::string mended;
    mended.reserve(fixed.text.size());
    std::size_t copied = 0;
    for (const Diagnostic& diagnostic : chosen) {
      const Fix& fix = *diagnostic.fix;
      mended.append(fixed.text, copied, fix.offset - copied);
      mended += fix.replacement;
      copied = fix.offset + fix.length;
    }
    mended.append(fixed.text, copied);
    fixed.text = std::move(mended);
    std::move(chosen.begin(), chosen.end(), std::back_inserter(fixed.applied));
  }
  return fixed;
}

}  // namespace linebasic

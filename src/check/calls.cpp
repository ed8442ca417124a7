// Subroutines: the checker sees each as the lines from a GOSUB's target to the first RETURN
// after it, and follows the calls between them as the text shows them. A run keeps at most ten
// calls open and drops an eleventh GOSUB; a RETURN with no call open does nothing.
#include <algorithm>
#include <string>
#include <vector>

#include "check/checker.h"
#include "scanner/scanner.h"

namespace linebasic::check {
namespace {

// The number of the line that holds `at`, as "line N", or "the line" when it has none.
std::string callerName(const char* text, const char* at) {
  while (at != text && at[-1] != '\n')
    --at;
  const char* const digits = skipBlanks(at);
  if (!isDigit(*digits)) return "a line";
  return "line " + std::to_string(decimalValue(digits));
}

}  // namespace

// The first RETURN at or after the line `target`; null when none follows it.
const char* Checker::subroutineEnd(std::int32_t target) const {
  const char* const start = lineAt_[static_cast<std::size_t>(target)];
  const auto found = std::lower_bound(returns_.begin(), returns_.end(), start);
  return found != returns_.end() ? *found : nullptr;
}

void Checker::checkCalls() {
  derailed_ = false;  // these warnings stand apart from any line's mistakes
  if (calls_.empty() && !sawGosub_) {
    for (const char* at : returns_) {
      report(at, name::kReturnWithoutGosub,
             "no GOSUB calls a subroutine, so this RETURN does nothing and the run goes on "
             "after it",
             "write 'end' to stop here");
    }
    return;
  }
  // The subroutines, from their first line to their RETURN, by where they start. Falling
  // into one from inside another, its RETURN finds that one's call; only a fall from outside
  // every subroutine is told.
  std::vector<bool> called(kLineNumberCount, false);
  std::vector<std::pair<const char*, const char*>> subroutines;
  for (const Call& call : calls_) {
    if (called[static_cast<std::size_t>(call.target)]) continue;
    called[static_cast<std::size_t>(call.target)] = true;
    if (const char* end = subroutineEnd(call.target); end != nullptr)
      subroutines.emplace_back(lineAt_[static_cast<std::size_t>(call.target)], end);
  }
  std::sort(subroutines.begin(), subroutines.end());
  auto next = subroutines.begin();
  const char* insideUpTo = nullptr;  // the furthest RETURN of those that start above
  for (const char* line : fallenInto_) {
    for (; next != subroutines.end() && next->first < line; ++next)
      insideUpTo = std::max(insideUpTo, next->second);
    const std::int32_t n = decimalValue(line);
    if (!called[static_cast<std::size_t>(n)] || subroutineEnd(n) == nullptr) continue;
    if (insideUpTo != nullptr && insideUpTo > line) continue;
    report(line, name::kFallsIntoSubroutine,
           "the run falls into line " + std::to_string(n) +
               ", a subroutine, from the line above: its RETURN then finds no GOSUB and does "
               "nothing",
           "end the part above it with 'end' or a GOTO");
  }
  checkNesting();
}

// Calls that nest past what a run keeps open: a subroutine that calls itself, directly or
// through others, and chains of calls eleven deep.
void Checker::checkNesting() {
  // The calls within the subroutine each call goes to: a range of calls_, found by position.
  const std::size_t count = calls_.size();
  std::vector<std::pair<std::size_t, std::size_t>> inner(count, {0, 0});
  const auto byPosition = [](const Call& call, const char* at) { return call.at < at; };
  for (std::size_t i = 0; i < count; ++i) {
    const char* const end = subroutineEnd(calls_[i].target);
    if (end == nullptr) continue;
    const char* const start = lineAt_[static_cast<std::size_t>(calls_[i].target)];
    const auto from = std::lower_bound(calls_.begin(), calls_.end(), start, byPosition);
    const auto to = std::lower_bound(from, calls_.end(), end, byPosition);
    inner[i] = {static_cast<std::size_t>(from - calls_.begin()),
                static_cast<std::size_t>(to - calls_.begin())};
  }
  // Depth-first over the calls, without recursion: the deepest chain below each call (capped
  // past the limit), and the calls that lead back into a subroutine still open on the path.
  // The work is bounded, so that a text of many overlapping subroutines stays quick.
  constexpr int kDeeper = kGosubDepthMax + 1;
  std::vector<int> below(count, -1);                   // -1: not yet known
  std::vector<std::size_t> deepestCall(count, kNone);  // the call below that starts it
  std::vector<bool> onPath(count, false);
  std::vector<bool> recursive(count, false);
  std::size_t budget = 64 * count + 1024;
  for (std::size_t root = 0; root < count && budget > 0; ++root) {
    if (below[root] >= 0) continue;
    std::vector<std::pair<std::size_t, std::size_t>> stack{{root, inner[root].first}};
    onPath[root] = true;
    while (!stack.empty() && budget > 0) {
      --budget;
      auto& [call, next] = stack.back();
      if (next < inner[call].second) {
        const std::size_t callee = next++;
        if (onPath[callee] || calls_[callee].target == calls_[call].target) {
          recursive[callee] = true;
        } else if (below[callee] < 0) {
          onPath[callee] = true;
          stack.emplace_back(callee, inner[callee].first);
        }
        continue;
      }
      int deepest = 0;
      for (std::size_t c = inner[call].first; c < inner[call].second; ++c) {
        const int through = below[c] >= 0 ? std::min(below[c] + 1, kDeeper) : 0;
        if (through > deepest) {
          deepest = through;
          deepestCall[call] = c;
        }
      }
      below[call] = deepest;
      onPath[call] = false;
      stack.pop_back();
    }
  }
  if (budget == 0) return;
  for (std::size_t i = 0; i < count; ++i) {
    if (!recursive[i]) continue;
    report(calls_[i].at, name::kGosubDepth,
           "this GOSUB calls line " + std::to_string(calls_[i].target) +
               " again before its RETURN: the calls nest, and past ten the run drops the GOSUB",
           "keep it to ten calls deep, or repeat with a GOTO loop instead");
  }
  // A call outside every subroutine that starts a chain past the limit: the eleventh call.
  std::vector<int> opened(count + 1, 0);  // how many subroutines hold each call
  for (std::size_t i = 0; i < count; ++i) {
    ++opened[inner[i].first];
    --opened[inner[i].second];
  }
  std::vector<bool> told(count, false);
  int holding = 0;
  for (std::size_t i = 0; i < count; ++i) {
    holding += opened[i];
    if (holding > 0 || below[i] < kGosubDepthMax) continue;
    std::size_t call = i;
    for (int level = 1; level <= kGosubDepthMax && deepestCall[call] != kNone; ++level)
      call = deepestCall[call];
    if (told[call] || recursive[call]) continue;
    told[call] = true;
    report(calls_[call].at, name::kGosubDepth,
           "GOSUBs nest at most 10 deep: the calls from " + callerName(text_, calls_[i].at) +
               " reach this one as the eleventh, and the run drops it");
  }
}

}  // namespace linebasic::check

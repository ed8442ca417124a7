// Program texts the benchmarks and the instruction-count driver run.
#pragma once

#include <string>

namespace linebasic::bench {

// 10 x 10 x 100 passes of the innermost loop; every NEXT rescans from the top of the text.
inline constexpr char kNestedLoop[] =
    "10 s = 0\n"
    "20 for i = 1 to 10\n"
    "30 for j = 1 to 10\n"
    "40 for k = 1 to 100\n"
    "50 s = s + 1\n"
    "60 next k\n"
    "70 next j\n"
    "80 next i\n"
    "90 print s\n";

// Long lines of assignments and expressions, run once from top to bottom.
inline std::string scanHeavyProgram(int lines) {
  std::string text;
  for (int line = 1; line <= lines; ++line) {
    text += std::to_string(line * 10) +
            " x = a + b * c - (d & e) | f / 3 + g % 7 + (h + i) * (j - k) + l + m + n\n";
  }
  return text;
}

// `lines` straight-line statements, then a loop whose every NEXT rescans all of them.
inline std::string jumpHeavyProgram(int lines, int passes) {
  std::string text;
  for (int line = 1; line <= lines; ++line)
    text += std::to_string(line) + " y = y + 1\n";
  text += "9000 for i = 1 to " + std::to_string(passes) + "\n";
  text += "9010 s = s + 1\n9020 next i\n9030 end\n";
  return text;
}

// A subroutine called from a loop: each call and each return rescans the text.
inline constexpr char kGosubLoop[] =
    "10 for i = 1 to 100\n"
    "20 gosub 100\n"
    "30 next i\n"
    "40 end\n"
    "100 s = s + 1\n"
    "110 return\n";

}  // namespace linebasic::bench

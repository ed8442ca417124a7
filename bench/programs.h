// Program texts the benchmarks and the instruction-count driver run.
#pragma once

#include <cstddef>
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

// The lines `first` to `last`, each "<n> y = y + 1".
inline std::string straightLines(int first, int last) {
  std::string text;
  for (int line = first; line <= last; ++line)
    text += std::to_string(line) + " y = y + 1\n";
  return text;
}

// A 100 x 10 loop below 300 straight lines: every NEXT rescans about 4 KB. It prints -24.
inline std::string jumpHeavyProgram() {
  return straightLines(1, 300) +
         "9000 for i = 1 to 100\n"
         "9010 for j = 1 to 10\n"
         "9030 s = s + 1\n"
         "9040 next j\n"
         "9060 next i\n"
         "9070 print s\n";
}

// A subroutine below 300 lines, called from a 100 x 10 loop: every GOSUB searches past 300
// line numbers. It prints -24.
inline std::string callHeavyProgram() {
  return "10 for i = 1 to 100\n"
         "20 for j = 1 to 10\n"
         "30 gosub 9000\n"
         "40 next j\n"
         "50 next i\n"
         "60 print s\n"
         "70 end\n" +
         straightLines(100, 399) +
         "9000 s = s + 1\n"
         "9010 return\n";
}

// About `bytes` of lines of every statement, for the checker, numbered as far as four digits
// go; one line in eight has a mistake for it to report.
inline std::string checkHeavyProgram(std::size_t bytes) {
  static constexpr const char* kLines[] = {" for i = 1 to 10",
                                           " x = x + i * (y - 3) / 2",
                                           " print \"sum \"; x, y",
                                           " next i",
                                           " if x > 3 then gosub 10 else print x",
                                           " y = y % 7 | 1 & x",
                                           " goto 10",
                                           " PRINT \"HELLO\""};
  std::string text;
  for (int line = 1; text.size() < bytes; ++line)
    text += (line < 10'000 ? std::to_string(line) : "") + kLines[line % 8] + "\n";
  return text;
}

}  // namespace linebasic::bench

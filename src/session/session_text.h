// Helpers that the session's files share: line numbers as typed, ranges, counts and blanks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "scanner/scanner.h"

namespace linebasic {

inline constexpr int kLineNumberDigits = kNumberScanLimit - 1;  // as a Number token has

inline std::string countOf(std::size_t count, const std::string& thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

inline std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// A line that starts with a line number: the number, and what was typed after its digits.
struct NumberedLine {
  int number;
  std::string_view rest;
};

// Splits a line that starts with digits; nothing when there are too many.
inline std::optional<NumberedLine> splitNumber(std::string_view line) {
  std::size_t digits = 0;
  while (digits < line.size() && isDigit(line[digits]))
    ++digits;
  if (digits > kLineNumberDigits) return {};
  return NumberedLine{decimalValue(std::string(line.substr(0, digits)).c_str()),
                      line.substr(digits)};
}
inline constexpr std::string_view kTooManyDigits =
    "line numbers have at most four digits: 0 to 9999\n";

// Numbered lines as one text, each number before its line's text, in number order.
inline std::string textOf(const std::map<int, std::string>& lines) {
  std::string text;
  for (const auto& [number, rest] : lines)
    text += std::to_string(number) + rest + "\n";
  return text;
}

// A line number of one to four digits; nothing for any other text.
inline std::optional<int> lineNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kLineNumberDigits ||
      !std::all_of(digits.begin(), digits.end(), isDigit)) {
    return {};
  }
  return decimalValue(std::string(digits).c_str());
}

// "no line 25", or "no lines from 30 to 40".
inline std::string noLines(std::pair<int, int> range) {
  if (range.first == range.second) return "no line " + std::to_string(range.first) + "\n";
  return "no lines from " + std::to_string(range.first) + " to " + std::to_string(range.second) +
         "\n";
}

}  // namespace linebasic

#include "edit/fix_text.h"

#include <algorithm>
#include <cstdio>

namespace linebasic {
namespace {

// `text` as a C string literal holds it, without the quotes: a backslash, a double quote and
// the control bytes escaped (octal for those without a letter), other bytes as they are.
std::string escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char octal[5];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      out += octal;
    } else {
      out += c;
    }
  }
  return out;
}

std::string bytes(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

// "L:C" of the byte at `offset` of `text` (or just past its end).
std::string place(std::string_view text, std::size_t offset) {
  offset = std::min(offset, text.size());
  const std::string_view before = text.substr(0, offset);
  const std::size_t lineStart =
      before.rfind('\n') == std::string_view::npos ? 0 : before.rfind('\n') + 1;
  const auto line = std::count(before.begin(), before.end(), '\n') + 1;
  return std::to_string(line) + ":" + std::to_string(offset - lineStart + 1);
}

}  // namespace

std::string describeFix(const Fix& fix) {
  const std::string written = "'" + escaped(fix.replacement) + "'";
  if (fix.replacement.empty()) return "removed " + bytes(fix.length);
  if (fix.length == 0) return "inserted " + written;
  return "wrote " + written + " over " + bytes(fix.length);
}

std::string fixitLine(const Fix& fix, std::string_view text, std::string_view file) {
  return "fix-it:\"" + escaped(file) + "\":{" + place(text, fix.offset) + "-" +
         place(text, fix.offset + fix.length) + "}:\"" + escaped(fix.replacement) + "\"";
}

}  // namespace linebasic

// The checker's words: how a message shows the user's text, what it says about constructs of
// other BASICs, and the advice it gives. Advice quotes the user's own operands, and keeps what
// the line evidently means when typed in its place, precedence included.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "check/checker.h"
#include "scanner/scanner.h"

namespace linebasic::check {
namespace {

// True when `c` can stand in the plain expressions that advice rewrites.
bool isPlainOperator(char c) {
  return c == '+' || c == '-' || c == '*' || c == '/' || c == '%' || c == '&' || c == '|';
}

// True when the word at `at` is `word` and ends there.
bool isWordAt(const char* at, std::string_view word) {
  return std::strncmp(at, word.data(), word.size()) == 0 && !isLetter(at[word.size()]);
}

// Past the plain expression text at `start`: numbers, one-letter variables, parentheses that
// close and the operators of sums and products, blanks between them; trailing blanks are left
// out. Stops at the first byte of anything else, or at a ')' that closes nothing.
const char* plainEnd(const char* start) {
  const char* end = start;
  int depth = 0;
  for (const char* p = skipBlanks(start);; p = skipBlanks(p)) {
    if (isDigit(*p)) {
      while (isDigit(*p))
        ++p;
    } else if (isLower(*p) && !isLetter(p[1])) {
      ++p;
    } else if (isPlainOperator(*p) || *p == '(' || (*p == ')' && depth > 0)) {
      depth += *p == '(' ? 1 : *p == ')' ? -1 : 0;
      ++p;
    } else {
      return depth == 0 ? end : start;
    }
    end = p;
  }
}

// True when the text from `start` to `end` adds or subtracts outside any parenthesis.
bool addsAtTop(const char* start, const char* end) {
  int depth = 0;
  for (const char* p = start; p != end; ++p) {
    depth += *p == '(' ? 1 : *p == ')' ? -1 : 0;
    if (depth == 0 && (*p == '+' || *p == '-' || *p == '&' || *p == '|')) return true;
  }
  return false;
}

// Just past the ')' that closes the '(' at `open` on its line; null when none does.
const char* closingParen(const char* open) {
  int depth = 0;
  for (const char* p = open; *p != '\n' && *p != '\0' && *p != '"'; ++p) {
    if (*p == '(') ++depth;
    if (*p == ')' && --depth == 0) return p + 1;
  }
  return nullptr;
}

// The plain expression text from `start` to `end` with each unary sign written as a
// subtraction from 0, as advice must show it: '-5' becomes '0 - 5', 'y * -5' becomes
// 'y * (0 - 5)'. Empty when a sign's operand is no number, variable or parenthesis.
std::string withoutSigns(const char* start, const char* end) {
  std::string written;
  bool afterOperand = false;
  char before = '(';  // the last byte other than a blank
  for (const char* p = start; p < end; ++p) {
    if (isBlank(*p)) {
      written += *p;
      continue;
    }
    if ((*p == '-' || *p == '+') && !afterOperand) {
      const char* const operandEnd = signOperandEnd(p);
      if (operandEnd == nullptr || operandEnd > end) return {};
      const char* const operand = skipBlanks(p + 1);
      std::string inner =
          *operand == '(' ? withoutSigns(operand, operandEnd) : std::string(operand, operandEnd);
      if (inner.empty()) return {};
      const std::string zero = "0 " + std::string(1, *p) + " " + inner;
      written += before == '(' ? zero : "(" + zero + ")";
      p = operandEnd - 1;
      afterOperand = true;
      before = ')';
      continue;
    }
    written += *p;
    afterOperand = isDigit(*p) || isLower(*p) || *p == ')';
    before = *p;
  }
  return written;
}

}  // namespace

// The length of the UTF-8 character at `at` (before `end`) when it is one a terminal shows as
// typed: well formed, and neither a control character nor an invisible or reordering one; 0
// otherwise.
std::size_t shownCharacter(const char* at, const char* end) {
  const auto lead = static_cast<unsigned char>(*at);
  const std::size_t length = lead >= 0xF0 && lead < 0xF5 ? 4
                             : lead >= 0xE0              ? 3
                             : lead >= 0xC2              ? 2
                                                         : 0;
  if (length == 0 || end - at < static_cast<std::ptrdiff_t>(length)) return 0;
  std::uint32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(at[i]);
    if ((byte & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte & 0x3F);
  }
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  const bool invisible = code < 0xA0 || code == 0xAD || (code >= 0x200B && code <= 0x200F) ||
                         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069) ||
                         code == 0xFEFF || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF;
  return overlong || invisible ? 0 : length;
}

std::string quote(const char* start, const char* end, std::size_t max) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "'";
  const char* at = start;
  const char* const shownEnd = end - start > static_cast<std::ptrdiff_t>(max) ? start + max : end;
  while (at < shownEnd) {
    const auto byte = static_cast<unsigned char>(*at);
    if (byte >= ' ' && byte < 127) {
      quoted += *at++;
    } else if (const std::size_t length = byte >= 128 ? shownCharacter(at, end) : 0; length != 0) {
      quoted.append(at, length);
      at += length;
    } else {
      quoted += std::string{'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
      ++at;
    }
  }
  if (at < end) quoted += "...";
  return quoted + "'";
}

const char* nextVariable(const char* statement) {
  if (!isWordAt(statement, "next")) return nullptr;
  const char* const variable = skipBlanks(statement + 4);
  return isLower(*variable) && !isLetter(variable[1]) ? variable : nullptr;
}

std::string describeByte(char c) {
  switch (c) {
    case '\t':
      return "a tab";
    case '\r':
      return "a carriage return";
    case '"':
      return "a double quote";
    default:
      return quote(&c, &c + 1);
  }
}

WordHint wordHint(std::string_view word, char next) {
  static constexpr std::string_view kLoopWithIf =
      "loop with IF and GOTO, as in 'if x < 5 then goto 20'";
  static constexpr std::pair<std::string_view, WordHint> kHints[] = {
      {"rem", {"there are no comments", "remove the comment"}},
      {"input",
       {"there is no INPUT, since a program reads no input",
        "set the value with LET, as in 'let n = 5'"}},
      {"dim", {"there are no arrays", kEachValue}},
      {"rnd", {"there are no random numbers", "choose the numbers and write them in"}},
      {"using", {"there is no PRINT USING", "print the value alone, as in 'print x'"}},
      {"randomize", {"there are no random numbers", "leave the line out"}},
      {"len", {"there are no strings and no functions", "write the length as a number"}},
      {"tab", {"there are no functions", "write the spaces in a literal"}},
      {"data", {"there are no DATA lines", "assign each value with LET"}},
      {"read", {"there is no READ or DATA", "assign each value with LET"}},
      {"on", {"there is no ON ... GOTO", "write an IF ... THEN GOTO for each value"}},
      {"stop", {"there is no STOP", "write 'end'", "end"}},
      {"step",
       {"there is no STEP", "FOR counts up by one: work out other values, as in 'print 2 * i'"}},
      {"and", {"there is no AND", "nest the IFs, as in 'if a = 1 then if b = 2 then ...'"}},
      {"or",
       {"there is no OR",
        "repeat the IF after ELSE, as in 'if a = 1 then print 1 else if b = 2 then print 1'"}},
      {"not", {"there is no NOT", "turn the comparison around: for 'not a = 3' write 'a - 3'"}},
      {"mod", {"there is no MOD", "write '%' for 'mod'", "%"}},
      {"abs", {"there is no ABS", "to drop a sign, add a line such as 'if y < 0 then y = 0 - y'"}},
      {"sqr",
       {"there is no SQR", "count further instead, as in 'for d = 2 to n - 1' for divisors of n"}},
      {"while", {"there is no WHILE loop", kLoopWithIf}},
      {"wend", {"there is no WHILE loop", kLoopWithIf}},
      {"do", {"there is no DO loop", kLoopWithIf}},
      {"loop", {"there is no DO loop", kLoopWithIf}},
      {"until", {"there is no UNTIL", kLoopWithIf}},
      {"swap", {"there is no SWAP", "swap through a third variable: 't = a', 'a = b', 'b = t'"}},
      {"def", {"there are no functions", "write the expression where it is used"}},
      {"restore", {"there are no DATA lines", "assign each value with LET"}},
      {"cls", {"there is no CLS", "leave the line out"}},
      {"home", {"there is no HOME", "leave the line out"}},
      {"color", {"there are no colours", "leave the line out"}},
      {"locate", {"there is no LOCATE", "leave the line out"}},
      {"beep", {"there is no sound", "leave the line out"}},
      {"sound", {"there is no sound", "leave the line out"}},
      {"sleep", {"there is no SLEEP", "leave the line out"}}};
  if (word == "int") {
    // Not fixed: 'n / d = int(n / d)', other BASICs' test of a divisor, holds always here.
    return {"every value is a whole number already, and there are no functions",
            "'int(x)' is 'x'; to test whether d divides n, write 'n % d = 0'"};
  }
  for (const auto& [known, hint] : kHints) {
    if (word == known) return hint;
  }
  if (next == '(') return {"there are no functions or arrays", kEachValue};
  if (next == '$') return {"there are no string variables or functions", kLiterals};
  return {};
}

WordHint upperWordHint(const char* at) {
  if (!isUpper(*at)) return {};
  std::string word;
  const char* end = at;
  for (; isLetter(*end) && word.size() < 8; ++end)
    word += lowered(*end);
  if (isLetter(*end)) return {};
  // One letter is a variable in capitals: only '(' or '$' after it tells of other BASICs.
  if (word.size() < 2 && *end != '(' && *end != '$') return {};
  return wordHint(word, *end);
}

std::string inputAdvice(const char* word) {
  // The variables it reads: the letters on their own after the word, outside a prompt.
  std::string names;
  bool inLiteral = false;
  for (const char* c = word; *c != '\0' && *c != '\n' && names.size() < 3; ++c) {
    if (*c == '"') inLiteral = !inLiteral;
    if (inLiteral || c == word || !isLetter(*c) || isLetter(c[-1]) || isLetter(c[1])) continue;
    // Text read into a string variable has no place to go at all.
    if (c[1] == '$') return "there are no string variables either: print text from a literal";
    names += lowered(*c);
  }
  if (kCompactChecker || names.size() < 2)
    return "set the value with LET, as in 'let " + (names.empty() ? "n" : names.substr(0, 1)) +
           " = 5'";
  std::string lets;
  for (std::size_t i = 0; i < names.size(); ++i)
    lets += std::string(i == 0                  ? "'"
                        : i + 1 == names.size() ? " and '"
                                                : ", '") +
            "let " + names[i] + " = " + std::to_string(5 + 2 * i) + "'";
  return "set each value with LET, on a line of its own: " + lets;
}

std::string_view nearKeyword(std::string_view word) {
  if (word.size() < 3) return {};
  for (const Keyword& keyword : kKeywords) {
    const std::string_view k = keyword.text;
    if (k.size() < 3 || k == word) continue;
    if (k.size() == word.size()) {
      std::size_t first = 0;
      while (first < k.size() && k[first] == word[first])
        ++first;
      std::size_t last = k.size();
      while (last > first && k[last - 1] == word[last - 1])
        --last;
      const bool swapped =
          last - first == 2 && k[first] == word[first + 1] && k[first + 1] == word[first];
      if (last - first == 1 || swapped) return k;
    } else if (k.size() + 1 == word.size() || word.size() + 1 == k.size()) {
      const std::string_view longer = k.size() > word.size() ? k : word;
      const std::string_view shorter = k.size() > word.size() ? word : k;
      std::size_t first = 0;
      while (first < shorter.size() && shorter[first] == longer[first])
        ++first;
      if (longer.substr(first + 1) == shorter.substr(first)) return k;
    }
  }
  return {};
}

// How the run reads a lower-case word that is no keyword: one variable per letter, until the
// rest of the word is a keyword.
std::string asVariables(std::string_view word, const KeywordTable& keywords) {
  for (std::size_t rest = 1; rest < word.size(); ++rest) {
    if (keywords.contains(word.substr(rest))) {
      return "the run reads " + quote(word.data(), word.data() + rest) + " as variables, then " +
             quote(word.data() + rest, word.data() + word.size()) + " as a keyword";
    }
  }
  return "the run reads " + quote(word.data(), word.data() + word.size()) +
         " as variables, one letter each";
}

std::string restMessage(Rest rest, TokenKind kind, const std::string& token,
                        const std::string& statement) {
  switch (rest) {
    case Rest::Let:
      if (isRelational(kind)) {
        return "comparisons work only in IF conditions: the assignment ends before " + token +
               ", and the run steps over it";
      }
      return "the assignment ends before " + token +
             ": the run steps over it and runs what follows as statements of their own";
    case Rest::Goto:
    case Rest::End:
      return token + " after " + statement + " never runs";
    case Rest::Gosub:
      return token + " after " + statement +
             " never runs: the run steps over it, and RETURN comes back to the next line";
    case Rest::Return:
      return token + " after " + statement + " runs only when no GOSUB is active";
    case Rest::Next:
      return "the run steps over " + token + " after " + statement +
             ", and runs what follows only when the loop ends";
    case Rest::For:
      return "the run steps over " + token +
             " after the limit, and runs what follows once, before the loop's body";
  }
  return {};
}

std::string colonMessage(Rest rest, const std::string& statement) {
  switch (rest) {
    case Rest::Let:
      return "the assignment ends at it, and the run steps over it";
    case Rest::Goto:
    case Rest::End:
      return "nothing after " + statement + " runs";
    case Rest::Gosub:
      return "nothing after " + statement + " runs, and RETURN comes back to the next line";
    case Rest::Return:
      return "what follows " + statement + " runs only when no GOSUB is active";
    case Rest::Next:
      return "the run steps over it after " + statement +
             ", and runs what follows only when the loop ends";
    case Rest::For:
      return "the run steps over it after the limit, and runs what follows once, before the " +
             std::string("loop's body");
  }
  return {};
}

Advice pairAdvice(char first, char second, const char* left, const char* pairAt,
                  const char* right) {
  const std::string pair{first, second};
  if (pair == "==") return {"write '='", pairAt, pairAt + 2, "="};
  const bool known = pair == "<=" || pair == "=<" || pair == ">=" || pair == "=>" || pair == "<>" ||
                     pair == "><" || pair == "!=";
  if (!known) return {};  // and `right` may lie past the end of the text
  // The operands as typed when both are plain, so the advice can be typed in their place;
  // otherwise the rule with placeholders.
  std::string was = "'a " + pair + " b'";
  std::string a = "a";
  std::string b = "b";
  const char* from = nullptr;  // the bytes the advice rewrites, once known
  const char* to = nullptr;
  const char* const rightStart = skipBlanks(right);
  const char* const rightEnd = plainEnd(rightStart);
  const char* const after = skipBlanks(rightEnd);
  // Where the operand ends: the condition's end, or other BASICs' AND, OR or ':' after it
  // (told by warnings of their own), so the advice quotes the user's own operands.
  const bool rightEnds = *after == '\n' || *after == '\0' || *after == ':' ||
                         isWordAt(after, "then") || isWordAt(after, "else") ||
                         isWordAt(after, "and") || isWordAt(after, "or");
  const char* const leftStart = left != nullptr ? skipBlanks(left) : nullptr;
  if (leftStart != nullptr && rightEnd != rightStart && rightEnds) {
    const char* const leftEnd = plainEnd(leftStart);
    const bool shown = rightEnd - leftStart <= static_cast<std::ptrdiff_t>(kQuotedMax);
    if (leftEnd != leftStart && skipBlanks(leftEnd) == pairAt && shown) {
      std::string leftWritten = withoutSigns(leftStart, leftEnd);
      std::string rightWritten = withoutSigns(rightStart, rightEnd);
      if (!leftWritten.empty() && !rightWritten.empty()) {
        was = quote(leftStart, rightEnd);
        a = std::move(leftWritten);
        b = std::move(rightWritten);
        if ((pair == "<>" || pair == "><" || pair == "!=") && addsAtTop(rightStart, rightEnd))
          b = "(" + b + ")";
        from = leftStart;
        to = rightEnd;
      }
    }
  }
  const std::string written = pair == "<=" || pair == "=<"   ? a + " < " + b + " + 1"
                              : pair == ">=" || pair == "=>" ? a + " > " + b + " - 1"
                                                             : a + " - " + b;
  const bool equality = pair == "<>" || pair == "><" || pair == "!=";
  return {"for " + was + " write '" + written + "'" + (equality ? ", which is 0 when equal" : ""),
          from, to, from != nullptr ? written : std::string()};
}

const char* signOperandEnd(const char* sign) {
  const char* const operand = skipBlanks(sign + 1);
  const char* end = nullptr;
  if (isDigit(*operand)) {
    end = operand;
    while (isDigit(*end))
      ++end;
  } else if (isLower(*operand) && !isLetter(operand[1])) {
    end = operand + 1;
  } else if (*operand == '(') {
    end = closingParen(operand);
  }
  return end != nullptr && end - sign <= static_cast<std::ptrdiff_t>(kQuotedMax) ? end : nullptr;
}

Advice signAdvice(const char* sign, bool parenthesize) {
  const char* const operand = skipBlanks(sign + 1);
  const char* const end = signOperandEnd(sign);
  if (end == nullptr) return {"start the operand with 0, as in '0 - 1'", nullptr, nullptr, {}};
  const std::string zero = "0 " + std::string(1, *sign) + " " + std::string(operand, end);
  std::string written = parenthesize ? "(" + zero + ")" : zero;
  return {"write '" + written + "' for " + quote(sign, end), sign, end, written};
}

}  // namespace linebasic::check

#include "check/rewrite.h"

#include <cstddef>
#include <regex>

namespace linebasic::check {
namespace {

constexpr char kMasked = '\x01';

// `line` with every byte of its literals, quotes included, masked: patterns then match only
// what the run reads as tokens.
std::string masked(const std::string& line) {
  std::string text = line;
  bool inLiteral = false;
  for (char& c : text) {
    const bool quote = c == '"';
    if (quote || inLiteral) c = kMasked;
    if (quote) inLiteral = !inLiteral;
  }
  return text;
}

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

bool isWordByte(char c) {
  return (c >= 'a' && c <= 'z') || isDigit(c);
}

// The tests of a divisor and the remainder as other BASICs write them with INT, over two
// plain operands (a variable or a number each).
std::string divisorTests(std::string line) {
  static const std::string kOperand = "([a-z]|[0-9]{1,4})";
  static const std::string kOp = " *(=|<>) *";
  static const std::string kDivided = " */ *";
  static const std::string kEnd = "(?![a-z0-9])";
  static const std::regex kPatterns[] = {
      // n / d = int(n / d)
      std::regex("(^|[^a-z0-9])" + kOperand + kDivided + kOperand + kOp + "int *\\( *\\2" +
                 kDivided + "\\3 *\\)"),
      // int(n / d) = n / d
      std::regex("(^|[^a-z0-9])int *\\( *" + kOperand + kDivided + kOperand + " *\\)" + kOp +
                 "\\2" + kDivided + "\\3" + kEnd),
      // int(n / d) * d = n
      std::regex(R"((^|[^a-z0-9])int *\( *)" + kOperand + kDivided + kOperand + R"( *\) *\* *\3)" +
                 kOp + R"(\2)" + kEnd),
  };
  static const std::regex kRemainder("(^|[^a-z0-9])" + kOperand + R"( *- *int *\( *\2)" + kDivided +
                                     kOperand + R"( *\) *\* *\3)" + kEnd);
  for (const std::regex& pattern : kPatterns) {
    std::smatch m;
    const std::string shown = masked(line);
    if (!std::regex_search(shown, m, pattern)) continue;
    const std::string written = m.str(1) +
                                line.substr(static_cast<std::size_t>(m.position(2)),
                                            static_cast<std::size_t>(m.length(2))) +
                                " % " + m.str(3) + " " + m.str(4) + " 0";
    line.replace(static_cast<std::size_t>(m.position(0)), static_cast<std::size_t>(m.length(0)),
                 written);
  }
  std::smatch m;
  const std::string shown = masked(line);
  if (std::regex_search(shown, m, kRemainder)) {
    line.replace(static_cast<std::size_t>(m.position(0)), static_cast<std::size_t>(m.length(0)),
                 m.str(1) + m.str(2) + " % " + m.str(3));
  }
  return line;
}

// Where the parenthesis that opens at `open` closes, or npos.
std::size_t closing(const std::string& text, std::size_t open) {
  int depth = 0;
  for (std::size_t at = open; at < text.size(); ++at) {
    if (text[at] == '(') ++depth;
    if (text[at] == ')' && --depth == 0) return at;
  }
  return std::string::npos;
}

// Whether `inner` holds an operator of the loosest arithmetic level outside parentheses.
bool hasLooseOperator(const std::string& inner, std::string_view operators) {
  int depth = 0;
  for (const char c : inner) {
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (depth == 0 && operators.find(c) != std::string_view::npos) return true;
  }
  return false;
}

// Every 'int(e)' written as 'e', kept in parentheses where the operators around it need them.
std::string withoutInt(std::string line) {
  static const std::regex kInt("(^|[^a-z0-9])int *\\(");
  static const std::regex kPlain(" *([a-z]|[0-9]{1,4}) *");
  for (int left = 8; left > 0; --left) {
    const std::string shown = masked(line);
    std::smatch m;
    if (!std::regex_search(shown, m, kInt)) break;
    const auto word = static_cast<std::size_t>(m.position(0) + m.length(1));
    const auto open = static_cast<std::size_t>(m.position(0) + m.length(0)) - 1;
    const std::size_t close = closing(shown, open);
    if (close == std::string::npos) break;
    const std::string inner = line.substr(open + 1, close - open - 1);
    const std::size_t beforeAt = shown.find_last_not_of(' ', word == 0 ? 0 : word - 1);
    const char before = word == 0 || beforeAt == std::string::npos ? '\0' : shown[beforeAt];
    const std::size_t afterAt = shown.find_first_not_of(' ', close + 1);
    const char after = afterAt == std::string::npos ? '\0' : shown[afterAt];
    const bool plain = std::regex_match(inner, kPlain);
    const bool loose = hasLooseOperator(inner, "+-&|");
    const bool parens =
        !plain && ((std::string_view("*/%").find(before) != std::string_view::npos) ||
                   (std::string_view("-&|").find(before) != std::string_view::npos && loose) ||
                   (before == '+' && hasLooseOperator(inner, "&|")) ||
                   (std::string_view("*/%").find(after) != std::string_view::npos && loose));
    // A PRINT item cannot start with '(': the value is added to 0 there.
    const bool item = before == ',' || before == ';' ||
                      (beforeAt != std::string::npos && beforeAt >= 4 &&
                       shown.compare(beforeAt - 4, 5, "print") == 0 &&
                       (beforeAt == 4 || !isWordByte(shown[beforeAt - 5])));
    std::string written = inner;
    if (parens) written = (item ? "0 + (" : "(") + inner + ")";
    if (!parens) {
      const std::size_t first = written.find_first_not_of(' ');
      written = first == std::string::npos
                    ? "0"
                    : written.substr(first, written.find_last_not_of(' ') + 1 - first);
    }
    line.replace(word, close + 1 - word, written);
  }
  return line;
}

// The parts of `text` between the words `word` (masked bytes never match).
std::vector<std::string> splitAtWord(const std::string& text, const std::string& shown,
                                     const std::string& word) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (std::size_t at = shown.find(word); at != std::string::npos; at = shown.find(word, from)) {
    parts.push_back(text.substr(from, at - from));
    from = at + word.size();
  }
  parts.push_back(text.substr(from));
  return parts;
}

// The IF of `line` with AND written as nested IFs, and OR as the IF again after ELSE (a true
// branch skips the ELSE part, so the statement runs once).
std::string withoutAndOr(std::string line) {
  static const std::regex kIf("( *if +)(.+?)( +then +)(.*)");
  const std::string shown = masked(line);
  std::smatch m;
  if (!std::regex_match(shown, m, kIf)) return line;
  const auto group = [&](int n) {
    return line.substr(static_cast<std::size_t>(m.position(n)),
                       static_cast<std::size_t>(m.length(n)));
  };
  const auto shownGroup = [&](int n) { return m.str(n); };
  const std::vector<std::string> ands = splitAtWord(group(2), shownGroup(2), " and ");
  const std::vector<std::string> ors = splitAtWord(group(2), shownGroup(2), " or ");
  // AND and OR together would want their precedence told; a statement with IFs of its own
  // or more than one ELSE is left as it is.
  const std::string statement = group(4);
  const std::vector<std::string> elses = splitAtWord(statement, shownGroup(4), " else ");
  if ((ands.size() > 1 && ors.size() > 1) || shownGroup(4).find("if ") != std::string::npos ||
      elses.size() > 2)
    return line;
  std::string written = group(1) + ands.front();
  for (std::size_t i = 1; i < ands.size(); ++i)
    written += " then if " + ands[i];
  if (ands.size() > 1) return written + group(3) + statement;
  if (ors.size() == 1) return line;
  const std::string then = group(3) + elses.front();
  written = group(1) + ors.front() + then;
  for (std::size_t i = 1; i < ors.size(); ++i)
    written += " else if " + ors[i] + then;
  return elses.size() == 2 ? written + " else " + elses.back() : written;
}

}  // namespace

Rewritten rewriteFunctions(std::string line) {
  // on x goto 100, 200: an IF for each value, each on a line of its own.
  static const std::regex kOn(" *on +([a-z]) +(goto|gosub) +([0-9]{1,4}(?: *, *[0-9]{1,4})*) *");
  if (std::smatch m; std::regex_match(line, m, kOn)) {
    static const std::regex kTarget("[0-9]{1,4}");
    const std::string targets = m.str(3);
    Rewritten written;
    int value = 0;
    for (std::sregex_iterator t(targets.begin(), targets.end(), kTarget), end; t != end; ++t) {
      const std::string test =
          "if " + m.str(1) + " = " + std::to_string(++value) + " then " + m.str(2) + " " + t->str();
      if (value == 1) {
        written.line = test;
      } else {
        written.after.push_back(test);
      }
    }
    return written;
  }
  line = withoutAndOr(withoutInt(divisorTests(std::move(line))));
  // y = abs(e): the value, then its sign turned on a line after it.
  static const std::regex kAbs(" *(let +)?([a-z]) *= *abs *\\((.*)\\) *");
  std::smatch m;
  const std::string shown = masked(line);
  if (std::regex_match(shown, m, kAbs) && closing(shown, shown.find('(')) == shown.rfind(')')) {
    const std::string variable = m.str(2);
    return {variable + " = " +
                line.substr(static_cast<std::size_t>(m.position(3)),
                            static_cast<std::size_t>(m.length(3))),
            {"if " + variable + " < 0 then " + variable + " = 0 - " + variable}};
  }
  return {line, {}};
}

namespace {

// `text` in parentheses where an operator in it would bind otherwise next to `*`.
std::string operand(const std::string& text) {
  return text.find_first_of("+-*/%&|") == std::string::npos ? text : "(" + text + ")";
}

}  // namespace

std::string stepAdvice(std::string_view line) {
  static const std::regex kFor(
      "for +([a-z]) *= *(.+?) +to +(.+?) +step *(-?) *([a-z]|[0-9]{1,4})(?![a-z0-9]) *");
  std::match_results<std::string_view::const_iterator> m;
  if (!std::regex_search(line.begin(), line.end(), m, kFor)) return {};
  const std::string v = m.str(1);
  const std::string from = m.str(2);
  const std::string to = m.str(3);
  const bool down = m.length(4) != 0;
  const std::string by = m.str(5);
  static const std::regex kPlain("[a-z]|[0-9]{1,4}|[a-z0-9 */%]+");
  if (by == "0" || by == v || !std::regex_match(from, kPlain) || !std::regex_match(to, kPlain) ||
      from.find(v) != std::string::npos || to.find(v) != std::string::npos)
    return {};
  // The count of steps: worked out where every part is a number, written out where not.
  static const std::regex kNumber("[0-9]{1,4}");
  std::string count;
  if (std::regex_match(from, kNumber) && std::regex_match(to, kNumber) &&
      std::regex_match(by, kNumber)) {
    const int span = down ? std::stoi(from) - std::stoi(to) : std::stoi(to) - std::stoi(from);
    if (span < 0) return {};
    count = std::to_string(span / std::stoi(by));
  } else {
    const std::string span = down          ? from + " - " + operand(to)
                             : from == "0" ? to
                                           : to + " - " + operand(from);
    count = by == "1" ? span : "(" + span + ") / " + by;
  }
  const std::string times = by == "1" ? v : v + " * " + by;
  const std::string value = down          ? from + " - " + times
                            : from == "0" ? times
                                          : from + " + " + times;
  return std::string(down ? "count up instead" : "count by one") + ": write 'for " + v +
         " = 0 to " + count + "' and use '" + value + "' where the loop used " + v;
}

}  // namespace linebasic::check

#include "check/rewrite.h"

#include <algorithm>
#include <cstddef>

#include "scanner/scanner.h"

namespace linebasic::check {
namespace {

// The pieces of a line and the line, read together.
class Reading {
 public:
  explicit Reading(const std::string& line) : line_(line), pieces_(pieces(line)) {}
  [[nodiscard]] std::size_t size() const { return pieces_.size(); }
  [[nodiscard]] const Piece& operator[](std::size_t i) const { return pieces_[i]; }
  [[nodiscard]] std::string text(std::size_t i) const {
    return i < pieces_.size() ? line_.substr(pieces_[i].begin, pieces_[i].end - pieces_[i].begin)
                              : std::string();
  }
  [[nodiscard]] bool is(std::size_t i, std::string_view text) const {
    return i < pieces_.size() && pieces_[i].kind != 'l' &&
           std::string_view(line_).substr(pieces_[i].begin, pieces_[i].end - pieces_[i].begin) ==
               text;
  }
  // A variable or a number of at most four digits.
  [[nodiscard]] bool isOperand(std::size_t i) const {
    if (i >= pieces_.size()) return false;
    const std::size_t length = pieces_[i].end - pieces_[i].begin;
    return (pieces_[i].kind == 'w' && length == 1) || (pieces_[i].kind == 'n' && length <= 4);
  }
  // The bytes from piece `first` to piece `last`, both included.
  [[nodiscard]] std::string span(std::size_t first, std::size_t last) const {
    return line_.substr(pieces_[first].begin, pieces_[last].end - pieces_[first].begin);
  }

 private:
  const std::string& line_;
  std::vector<Piece> pieces_;
};

// Matches `pattern` at piece `at`: "N" and "D" take an operand the first time and then want
// the same one, "OP" takes '=' or '<>', any other entry wants that text. The index past the
// match, or 0 when it does not match.
std::size_t matchAt(const Reading& reading, std::size_t at,
                    std::initializer_list<std::string_view> pattern, std::string& n, std::string& d,
                    std::string& op) {
  n.clear();
  d.clear();
  for (const std::string_view want : pattern) {
    if (want == "N" || want == "D") {
      std::string& operand = want == "N" ? n : d;
      if (!reading.isOperand(at) || (!operand.empty() && reading.text(at) != operand)) return 0;
      operand = reading.text(at++);
    } else if (want == "OP") {
      if (reading.is(at, "=")) {
        op = "=";
        ++at;
      } else if (reading.is(at, "<") && reading.is(at + 1, ">")) {
        op = "<>";
        at += 2;
      } else {
        return 0;
      }
    } else if (!reading.is(at++, want)) {
      return 0;
    }
  }
  return at;
}

// The tests of a divisor and the remainder as other BASICs write them with INT, over two
// plain operands (a variable or a number each).
std::string divisorTests(std::string line) {
  for (int left = 4; left > 0; --left) {
    const Reading reading(line);
    bool changed = false;
    for (std::size_t i = 0; i < reading.size() && !changed; ++i) {
      std::string n;
      std::string d;
      std::string op;
      std::size_t end = 0;
      std::string written;
      if ((end = matchAt(reading, i, {"N", "/", "D", "OP", "int", "(", "N", "/", "D", ")"}, n, d,
                         op)) != 0 ||
          (end = matchAt(reading, i, {"int", "(", "N", "/", "D", ")", "OP", "N", "/", "D"}, n, d,
                         op)) != 0 ||
          (end = matchAt(reading, i, {"int", "(", "N", "/", "D", ")", "*", "D", "OP", "N"}, n, d,
                         op)) != 0) {
        written = n;
        written.append(" % ").append(d).append(" ").append(op).append(" 0");
      } else if ((end = matchAt(reading, i, {"N", "-", "int", "(", "N", "/", "D", ")", "*", "D"}, n,
                                d, op)) != 0) {
        written = n;
        written.append(" % ").append(d);
      } else {
        continue;
      }
      line.replace(reading[i].begin, reading[end - 1].end - reading[i].begin, written);
      changed = true;
    }
    if (!changed) break;
  }
  return line;
}

// Where the parenthesis that opens at `open` closes, or npos; literals count for nothing.
std::size_t closing(const std::string& text, std::size_t open) {
  int depth = 0;
  bool inLiteral = false;
  for (std::size_t at = open; at < text.size(); ++at) {
    inLiteral = inLiteral != (text[at] == '"');
    if (inLiteral) continue;
    if (text[at] == '(') ++depth;
    if (text[at] == ')' && --depth == 0) return at;
  }
  return std::string::npos;
}

// Whether `inner` holds one of `operators` outside parentheses.
bool hasLooseOperator(const std::string& inner, std::string_view operators) {
  int depth = 0;
  for (const char c : inner) {
    depth += c == '(' ? 1 : c == ')' ? -1 : 0;
    if (depth == 0 && operators.find(c) != std::string_view::npos) return true;
  }
  return false;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string()
                                    : text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

// Every 'int(e)' written as 'e', kept in parentheses where the operators around it need them.
std::string withoutInt(std::string line) {
  for (int left = 8; left > 0; --left) {
    const Reading reading(line);
    std::size_t k = 0;
    while (k < reading.size() && !(reading.is(k, "int") && reading.is(k + 1, "(")))
      ++k;
    if (k == reading.size()) break;
    const std::size_t word = reading[k].begin;
    const std::size_t open = reading[k + 1].begin;
    const std::size_t close = closing(line, open);
    if (close == std::string::npos) break;
    const std::string inner = line.substr(open + 1, close - open - 1);
    const char before = k == 0 ? '\0' : line[reading[k - 1].end - 1];
    const std::size_t afterAt = line.find_first_not_of(' ', close + 1);
    const char after = afterAt == std::string::npos ? '\0' : line[afterAt];
    const Reading innerReading(inner);
    const bool plain = innerReading.size() == 1 && innerReading.isOperand(0);
    const bool loose = hasLooseOperator(inner, "+-&|");
    const bool parens =
        !plain && ((std::string_view("*/%").find(before) != std::string_view::npos) ||
                   (std::string_view("-&|").find(before) != std::string_view::npos && loose) ||
                   (before == '+' && hasLooseOperator(inner, "&|")) ||
                   (std::string_view("*/%").find(after) != std::string_view::npos && loose));
    // A PRINT item cannot start with '(': the value is added to 0 there.
    const bool item = before == ',' || before == ';' || (k > 0 && reading.is(k - 1, "print"));
    const std::string written = parens ? (item ? "0 + (" : "(") + inner + ")"
                                       : (trimmed(inner).empty() ? "0" : trimmed(inner));
    line.replace(word, close + 1 - word, written);
  }
  return line;
}

// `line` with its literals masked, so that a search for a word finds none inside them.
std::string masked(const std::string& line) {
  std::string text = line;
  bool inLiteral = false;
  for (char& c : text) {
    const bool quote = c == '"';
    if (quote || inLiteral) c = '\x01';
    if (quote) inLiteral = !inLiteral;
  }
  return text;
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
  const Reading reading(line);
  std::size_t then = 1;
  while (then < reading.size() && !reading.is(then, "then"))
    ++then;
  if (!reading.is(0, "if") || then + 1 >= reading.size() || then < 2) return line;
  const std::string prefix = line.substr(0, reading[1].begin);
  const std::string condition = reading.span(1, then - 1);
  const std::string statement = line.substr(reading[then + 1].begin);
  const std::string shownCondition = masked(condition);
  const std::string shownStatement = masked(statement);
  const std::vector<std::string> ands = splitAtWord(condition, shownCondition, " and ");
  const std::vector<std::string> ors = splitAtWord(condition, shownCondition, " or ");
  // AND and OR together would want their precedence told; a statement with IFs of its own
  // or more than one ELSE is left as it is.
  const std::vector<std::string> elses = splitAtWord(statement, shownStatement, " else ");
  if ((ands.size() > 1 && ors.size() > 1) || shownStatement.find("if ") != std::string::npos ||
      elses.size() > 2)
    return line;
  std::string written = prefix + ands.front();
  for (std::size_t i = 1; i < ands.size(); ++i)
    written += " then if " + ands[i];
  if (ands.size() > 1) return written + " then " + statement;
  if (ors.size() == 1) return line;
  const std::string thenPart = " then " + elses.front();
  written = prefix + ors.front() + thenPart;
  for (std::size_t i = 1; i < ors.size(); ++i)
    written += " else if " + ors[i] + thenPart;
  return elses.size() == 2 ? written + " else " + elses.back() : written;
}

// `text` in parentheses where an operator in it would bind otherwise next to `*`.
std::string operand(const std::string& text) {
  return text.find_first_of("+-*/%&|") == std::string::npos ? text : "(" + text + ")";
}

bool isNumber(const std::string& text) {
  return !text.empty() && text.size() <= 4 &&
         std::all_of(text.begin(), text.end(), [](char c) { return isDigit(c); });
}

}  // namespace

std::vector<Piece> pieces(std::string_view line) {
  std::vector<Piece> found;
  for (std::size_t at = 0; at < line.size();) {
    const char c = line[at];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++at;
      continue;
    }
    std::size_t end = at + 1;
    char kind = 'p';
    if (c == '"') {
      kind = 'l';
      while (end < line.size() && line[end] != '"')
        ++end;
      end = std::min(end + 1, line.size());
    } else if (isLower(c) || isDigit(c)) {
      kind = isDigit(c) ? 'n' : 'w';
      while (end < line.size() && (kind == 'n' ? isDigit(line[end]) : isLower(line[end])))
        ++end;
    }
    found.push_back({at, end, kind});
    at = end;
  }
  return found;
}

std::vector<std::string> jumpTargets(std::string_view text) {
  const std::string line(text);
  const Reading reading(line);
  std::vector<std::string> targets;
  for (std::size_t i = 0; i + 1 < reading.size(); ++i) {
    if ((reading.is(i, "goto") || reading.is(i, "gosub") || reading.is(i, "then") ||
         reading.is(i, "else")) &&
        reading[i + 1].kind == 'n' && reading.isOperand(i + 1))
      targets.push_back(reading.text(i + 1));
  }
  return targets;
}

Rewritten rewriteFunctions(std::string line) {
  if (kCompactChecker) return {line, {}};
  // on x goto 100, 200: an IF for each value, each on a line of its own.
  {
    const Reading reading(line);
    if (reading.is(0, "on") && reading.size() >= 4 && reading[1].kind == 'w' &&
        reading.isOperand(1) && (reading.is(2, "goto") || reading.is(2, "gosub"))) {
      Rewritten written;
      bool plain = true;
      int value = 0;
      for (std::size_t i = 3; i < reading.size() && plain; i += 2) {
        plain = reading[i].kind == 'n' && reading.isOperand(i) &&
                (i + 1 == reading.size() || reading.is(i + 1, ","));
        const std::string test = "if " + reading.text(1) + " = " + std::to_string(++value) +
                                 " then " + reading.text(2) + " " + reading.text(i);
        if (value == 1) {
          written.line = test;
        } else {
          written.after.push_back(test);
        }
      }
      if (plain && reading.size() % 2 == 0) return written;
    }
  }
  line = withoutAndOr(withoutInt(divisorTests(std::move(line))));
  // y = abs(e): the value, then its sign turned on a line after it.
  const Reading reading(line);
  const std::size_t first = reading.is(0, "let") ? 1 : 0;
  if (reading.size() >= first + 6 && reading[first].kind == 'w' && reading.isOperand(first) &&
      reading.is(first + 1, "=") && reading.is(first + 2, "abs") && reading.is(first + 3, "(") &&
      reading.is(reading.size() - 1, ")") &&
      closing(line, reading[first + 3].begin) == reading[reading.size() - 1].begin) {
    const std::string variable = reading.text(first);
    const std::size_t open = reading[first + 3].begin;
    return {variable + " = " +
                trimmed(line.substr(open + 1, reading[reading.size() - 1].begin - open - 1)),
            {"if " + variable + " < 0 then " + variable + " = 0 - " + variable}};
  }
  return {line, {}};
}

std::string stepAdvice(std::string_view text) {
  if (kCompactChecker) return {};
  const std::string line(text);
  const Reading reading(line);
  std::size_t at = 0;
  while (at < reading.size() && !reading.is(at, "for"))
    ++at;
  std::size_t to = at;
  while (to < reading.size() && !reading.is(to, "to"))
    ++to;
  std::size_t step = to;
  while (step < reading.size() && !reading.is(step, "step"))
    ++step;
  const std::size_t by = step + (reading.is(step + 1, "-") ? 2 : 1);
  if (by + 1 != reading.size() || !reading.isOperand(at + 1) || reading[at + 1].kind != 'w' ||
      !reading.is(at + 2, "=") || to <= at + 3 || step <= to + 1 || !reading.isOperand(by))
    return {};
  const std::string v = reading.text(at + 1);
  const std::string from = reading.span(at + 3, to - 1);
  const std::string end = reading.span(to + 1, step - 1);
  const bool down = by == step + 2;
  const std::string count = reading.text(by);
  const auto plain = [&v](const std::string& part) {
    return part.find(v) == std::string::npos && std::all_of(part.begin(), part.end(), [](char c) {
             return isLower(c) || isDigit(c) || c == ' ' || c == '*' || c == '/' || c == '%';
           });
  };
  if (count == "0" || count == v || !plain(from) || !plain(end)) return {};
  // The count of steps: worked out where every part is a number, written out where not.
  std::string steps;
  if (isNumber(from) && isNumber(end) && isNumber(count)) {
    const int span = down ? decimalValue(from.c_str()) - decimalValue(end.c_str())
                          : decimalValue(end.c_str()) - decimalValue(from.c_str());
    if (span < 0) return {};
    steps = std::to_string(span / decimalValue(count.c_str()));
  } else {
    const std::string span = down          ? from + " - " + operand(end)
                             : from == "0" ? end
                                           : end + " - " + operand(from);
    steps = count == "1" ? span : "(" + span + ") / " + count;
  }
  const std::string times = count == "1" ? v : v + " * " + count;
  const std::string value = down          ? from + " - " + times
                            : from == "0" ? times
                                          : from + " + " + times;
  return std::string(down ? "count up instead" : "count by one") + ": write 'for " + v +
         " = 0 to " + steps + "' and use '" + value + "' where the loop used " + v;
}

}  // namespace linebasic::check

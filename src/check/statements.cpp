// The checker's walk through lines, statements and expressions. Each function reads its
// tokens exactly as the run's handler of the same name does, and says where those tokens are
// not what the statement needs. A statement stops on the token that ends it (the line's end,
// or an ELSE in a branch) without stepping over it.
#include <algorithm>
#include <cstring>
#include <string>

#include "check/checker.h"
#include "scanner/scanner.h"

namespace linebasic::check {
namespace {

std::string number(std::int32_t n) {
  return std::to_string(n);
}

bool isKeywordKind(TokenKind kind) {
  return kind >= TokenKind::Let && kind <= TokenKind::End;
}

constexpr std::string_view kOwnLines = "put each statement on a line of its own";

// The comment at `at`, or after the ':' there, as other BASICs write one ("rem", "REM" or
// "'"); null when none is there.
const char* commentAfter(const char* at) {
  const char* const comment = *at == ':' ? skipBlanks(at + 1) : at;
  if (*comment == '\'') return comment;
  std::string word;
  for (const char* c = comment; isLetter(*c) && word.size() < 4; ++c)
    word += lowered(*c);
  return word == "rem" ? comment : nullptr;
}

// Past the word at `at`, or past its one byte when it starts with no letter.
const char* wordEnd(const char* at) {
  const char* end = at;
  while (isLetter(*end))
    ++end;
  return end == at ? at + 1 : end;
}

// What to write for the upper-case letter at `at`, when it stands alone: the variable.
std::string lowerLetterAdvice(const char* at) {
  if (!isUpper(*at) || isLetter(at[1])) return {};
  // 'D1' and 'D2' would both become 'd': a name of other BASICs wants a letter of its own.
  if (isDigit(at[1])) return "a variable is one letter: give each value a letter of its own";
  return "write '" + std::string(1, lowered(*at)) + "' for '" + std::string(1, *at) + "'";
}

// The IF condition from `start` as the run reads it when it takes the comparison from
// `comparison` to `comparisonEnd` for the ')' of the one parenthesis open there, quoted; empty
// when `start` is null (no condition), another parenthesis is open, or an operator after the
// comparison carries the expression on.
std::string conditionUpTo(const char* start, const char* comparison, const char* comparisonEnd) {
  if (start == nullptr) return {};
  int open = 0;
  for (const char* p = start; p != comparison; ++p)
    open += *p == '(' ? 1 : *p == ')' ? -1 : 0;
  const char next = *skipBlanks(comparisonEnd);
  if (open != 1 || std::string_view("+-*/%&|<>=").find(next) != std::string_view::npos) return {};
  const std::string condition = std::string(start, lastTokenEnd(start, comparison)) + ")";
  return quote(condition.data(), condition.data() + condition.size());
}

// What the run misses when it steps over `skipped` where THEN belongs.
std::string thenSkipped(TokenKind skipped) {
  switch (skipped) {
    case TokenKind::Let:
      return ", and runs the assignment after it as meant";
    case TokenKind::Variable:
      return ", so the assignment never runs";
    case TokenKind::Goto:
    case TokenKind::Gosub:
      return ", so the jump never happens";
    case TokenKind::Print:
      return ", so the PRINT never runs";
    case TokenKind::If:
      return ", so the second IF never runs";
    case TokenKind::For:
      return ", so the FOR never runs";
    case TokenKind::Next:
      return ", so the NEXT never runs";
    case TokenKind::Return:
      return ", so the RETURN never runs";
    case TokenKind::End:
      return ", so the run does not end there";
    default:
      return {};
  }
}

}  // namespace

// A line starts. Its number, when it has one, is skipped as the run skips it.
void Checker::startLine() {
  if (at() == text_ && kind() == TokenKind::Invalid && isBlank(*at())) {
    // Scanned without skipping blanks, a blank at the very start joins what follows it into one
    // word. That is harmless only for a line number, which a jump still finds.
    if (std::all_of(at() + 1, scan_.tokenEnd, isDigit)) {
      step();
    } else {
      report(at(), name::kStrayToken,
             "a blank at the very start of the text joins " + current() +
                 " into one word, which the run skips: remove the blank");
      step();
      return;
    }
  }
  if (kind() != TokenKind::Number) return;
  const std::int32_t n = decimalValue(at());
  if (lineAt_[n] != at()) {
    report(at(), name::kDuplicateLine,
           "line number " + number(n) + " is used already on text line " +
               number(lineOfNumber_[n]) +
               ": jumps reach only that one, and both run where "
               "they stand",
           "give this line a number of its own");
  } else if (fallsInto_ && walkedStatement_ && !derailed_) {
    fallenInto_.push_back(at());
  }
  step();
}

// The dispatcher: a statement, or one skipped token.
void Checker::statement() {
  switch (kind()) {
    case TokenKind::Variable:
      checkLet();
      break;
    case TokenKind::Let:
      step();
      if (kind() != TokenKind::Variable) {
        report(at(), name::kNotAVariable,
               current() + " is no variable (a to z): this LET stores nothing",
               lowerLetterAdvice(at()));
        offerLower();
      }
      checkLet();
      break;
    case TokenKind::Print:
      checkPrint();
      break;
    case TokenKind::If:
      checkIf();
      break;
    case TokenKind::For:
      checkFor();
      break;
    case TokenKind::Next:
      checkNext();
      break;
    case TokenKind::Goto:
      checkGoto();
      break;
    case TokenKind::Gosub:
      checkGosub();
      break;
    case TokenKind::Return:
    case TokenKind::End: {
      const char* const start = at();
      if (kind() == TokenKind::Return) returns_.push_back(start);
      const Rest rest = kind() == TokenKind::End ? Rest::End : Rest::Return;
      step();
      endStatement(rest, start);
      break;
    }
    default:
      stray();
      step();
      break;
  }
}

// A token that starts no statement, where a statement belongs.
void Checker::stray() {
  const std::string symptom = current() + " starts no statement: the run skips it";
  std::string message = withCause(symptom);
  std::string advice = causeAdvice();
  // The advice as an edit: `fixText` in place of the bytes from `fixFrom` to `fixTo`.
  const char* fixFrom = nullptr;
  const char* fixTo = at();
  std::string fixText;
  if (kind() == TokenKind::Number &&
      (previous_ == TokenKind::Then || previous_ == TokenKind::Else)) {
    advice = "to jump, write 'goto " + number(decimalValue(at())) + "'";
    fixFrom = at();
    fixText = "goto ";
  } else if (kind() == TokenKind::Call) {
    message = symptom + ", and the number after it";
    advice = "write 'gosub' to call a subroutine";
    fixFrom = at();
    fixTo = scan_.tokenEnd;
    fixText = "gosub";
  } else if (kind() == TokenKind::Else) {
    message = symptom + ", since it belongs to no IF, and runs what follows";
  } else if (kind() == TokenKind::String) {
    advice = "write 'print' before a literal";
    fixFrom = at();
    fixText = "print ";
  } else if (*at() == ':') {
    message = "':' is no separator here: the run skips it";
  } else if (*at() == '\'' || *at() == '#') {
    message = "there are no comments: the run skips " +
              (*at() == '\'' ? std::string("the apostrophe") : current()) +
              (wordsAfter(scan_.tokenEnd) ? " and reads the words after it as statements" : "");
    advice = removeComment(at());
    fixFrom = blanksBefore(text_, at());
    fixTo = lineEnd(at());
  } else if (kind() == TokenKind::Invalid && isUpper(*at())) {
    // The word in lower case may be one that other BASICs know.
    std::string word;
    for (const char* c = at(); isLetter(*c); ++c)
      word += lowered(*c);
    const WordHint hint = wordHint(word, at()[word.size()]);
    const std::string skips = "the run skips " + current();
    if (word == "rem") {
      message = std::string(hint.cause) + ": " + skips +
                (wordsAfter(at() + 3) ? " and reads the words after it as statements"
                                      : ", so the line does nothing");
      advice = removeComment(at());
      fixFrom = blanksBefore(text_, at());
      fixTo = lineEnd(at());
    } else if (!hint.cause.empty()) {
      message = std::string(hint.cause) + ": " + skips;
      advice = word == "input" ? inputAdvice(at()) : std::string(hint.advice);
      // DATA and READ of text: text is only ever printed.
      const char* const end = lineEnd(at());
      const char* const literal = std::find(at(), end, '"');
      const char* const closing = literal != end ? std::find(literal + 1, end, '"') : end;
      if (!kCompactChecker && (word == "data" || word == "read") &&
          (literal != end || std::find(at(), end, '$') != end)) {
        const std::string example =
            "print " + std::string(literal, closing == end ? literal : closing + 1);
        advice = "text is only printed, from a literal" +
                 (closing != end && example.size() <= kLoweredLineMax
                      ? ", as in " +
                            quote(example.data(), example.data() + example.size(), kLoweredLineMax)
                      : std::string()) +
                 "; set numbers with LET";
      }
      if (hint.fix != nullptr) {
        fixFrom = at();
        fixTo = at() + word.size();
        fixText = hint.fix;
      }
      // ON, INT and ABS: advice that writes the user's own line.
      const char* restEnd = lineEnd(at());
      if (restEnd > at() && restEnd[-1] == '\r') --restEnd;
      if ((word == "on" || word == "int" || word == "abs") &&
          restEnd - at() <= static_cast<std::ptrdiff_t>(kLoweredLineMax)) {
        const Rewritten written = loweredOutsideLiterals(at(), restEnd);
        if (!written.after.empty() || written.line.find(word) == std::string::npos) {
          const LineAdvice line = adviseLine(written, true);
          advice = line.words;
          if (line.fixed) {
            fixFrom = at();
            fixTo = restEnd;
            fixText = written.line;
          }
        }
      }
    } else if (word.size() > 1 && !isDigit(at()[word.size()])) {
      // A word of other BASICs: a statement this one lacks, or a long variable name.
      if (*skipBlanks(at() + word.size()) == '=') {
        message = "a variable is one lower-case letter: " + skips;
        advice = "give the value a letter of its own, as in '" + word.substr(0, 1) + "'";
      } else {
        message = current() + " is no statement: the run skips it";
        advice = "the statements are let, print, if, for, next, goto, gosub, return and end";
      }
    } else {
      message = "variables and keywords are lower case: " + skips;
      advice = lowerLetterAdvice(at());
      // A line in capitals is lowered whole, as for a keyword.
      const char* restEnd = lineEnd(at());
      if (restEnd > at() && restEnd[-1] == '\r') --restEnd;
      const Rewritten written = restEnd - at() <= static_cast<std::ptrdiff_t>(kLoweredLineMax)
                                    ? loweredOutsideLiterals(at(), restEnd)
                                    : Rewritten{std::string(at(), restEnd), {}};
      const std::string& rest = written.line;
      if (advice.starts_with("write") && rest.size() <= kLoweredLineMax &&
          rest.compare(1, std::string::npos, std::string_view(at() + 1, restEnd - at() - 1)) != 0) {
        const LineAdvice line = adviseLine(written, true);
        advice = line.words;
        if (line.fixed) {
          fixFrom = at();
          fixTo = restEnd;
          fixText = rest;
        }
      }
    }
  } else if (at() == text_ && std::string_view(at()).starts_with("\xEF\xBB\xBF")) {
    message = symptom + ", since it begins with a UTF-8 byte-order mark, which the run reads as " +
              "part of a word";
    advice = "save the file without it";
    fixFrom = at();
    fixTo = at() + 3;
  }
  report(at(), name::kStrayToken, message, advice);
  if (fixFrom != nullptr) offer(fixFrom, fixTo, fixText);
  if (fixFrom == nullptr && advice == lowerLetterAdvice(at())) offerLower();
}

// The advice lowerLetterAdvice() gives for the current token, as an edit.
void Checker::offerLower() {
  if (isUpper(*at()) && !isLetter(at()[1]) && !isDigit(at()[1]))
    offer(at(), at() + 1, std::string(1, lowered(*at())));
}

// [LET] v = expression
void Checker::checkLet() {
  const char* const start = at();
  const bool afterLet = previous_ == TokenKind::Let;
  step();
  const char* const equals = at();
  const std::size_t missing = expectEquals(afterLet ? "LET" : "an assignment", start);
  const bool lineEnd = kind() == TokenKind::Newline || kind() == TokenKind::EndOfText;
  const char* const valueAt = at();
  const std::size_t told = findings_.size();
  storedValue(expression(TokenKind::Equals, equals));
  // A value read as 0 from the line's end, or from a sign that starts it.
  const std::string setToZero = ", so " + std::string(1, *start) + " is set to 0";
  if (missing != kNone && lineEnd && isLower(*start)) findings_[missing].message += setToZero;
  if (findings_.size() > told && findings_[told].name == name::kUnarySign &&
      findings_[told].at == valueAt && isLower(*start))
    findings_[told].message += setToZero;
  endStatement(Rest::Let, start);
}

std::size_t Checker::expectEquals(std::string_view statement, const char* start) {
  std::size_t missing = kNone;
  if (kind() != TokenKind::Equals)
    missing = missingWord(name::kMissingEquals,
                          std::string(statement) + " needs '=' after its variable", start, "=");
  step();
  return missing;
}

// The word a statement that starts at `start` needs at the current token, which the run steps
// over in its place. Where that token is evidently what was meant to follow the word, the advice
// writes the word in. Returns the warning, or kNone when it was held back.
std::size_t Checker::missingWord(std::string_view name, const std::string& rule, const char* start,
                                 std::string_view word) {
  const TokenKind token = kind();
  const bool meant = token == TokenKind::Number || token == TokenKind::Variable ||
                     token == TokenKind::LeftParen ||
                     (word == "then" && token >= TokenKind::Let && token <= TokenKind::End &&
                      token != TokenKind::Then && token != TokenKind::Else &&
                      token != TokenKind::To && token != TokenKind::Call);
  std::string advice = causeAdvice();
  const bool insert = meant && advice.empty();
  if (insert) {
    const char* end = lineEnd(at());
    if (end > at() && end[-1] == '\r') --end;
    const std::string written =
        std::string(start, at()) + std::string(word) + " " + std::string(at(), end);
    advice =
        "write " + (written.size() <= kLoweredLineMax
                        ? quote(written.data(), written.data() + written.size(), kLoweredLineMax)
                        : "'" + std::string(word) + "' before " + current());
  }
  report(at(), name, inPlaceOf(rule), advice);
  if (!reported_) return kNone;
  if (insert) offer(at(), at(), std::string(word) + " ");
  return findings_.size() - 1;
}

// A number stored in a variable keeps its low 8 bits, as the interpreter's own store shows.
void Checker::storedValue(const Operand& value) {
  if (!value.isNumber || value.value <= kVariableMax) return;
  scan_.storeVariable('a', value.value);  // the scanner's variables are scratch
  const std::int32_t stored = scan_.variableValue('a');
  report(
      value.start, name::kValueRange,
      number(value.value) + " is stored as " + number(stored) + ": a variable holds -128 to 127");
}

// The end of the complete statement that starts at `start`: anything else on its line is
// reported with what becomes of it, and stepped over as the handler steps over it.
void Checker::endStatement(Rest rest, const char* start) {
  if (endsStatement()) return;
  const std::string statement = quote(start, lastTokenEnd(start, at()));
  if (const char* comment = commentAfter(at()); comment != nullptr) {
    const bool runs =
        rest == Rest::Let || rest == Rest::Next || rest == Rest::For || rest == Rest::Return;
    const bool colon = *at() == ':';
    const std::string reads =
        colon              ? "the run steps over ':' and reads " + quote(comment, wordEnd(comment))
        : *comment == '\'' ? std::string("the run steps over ''' and reads the words after it")
                           : "the run reads " + quote(comment, wordEnd(comment));
    const bool words = colon || *comment != '\'';
    report(at(), name::kRestOfLine,
           "there are no comments: " +
               (!runs   ? (colon ? colonMessage(rest, statement)
                                 : restMessage(rest, kind(), current(), statement))
                : words ? reads + " and the words after it as statements"
                        : reads + " as statements"),
           "remove the comment");
    offer(blanksBefore(text_, at()), lineEnd(at()), "");
    step();
    return;
  }
  if (rest == Rest::Let && *at() == ':' && scan_.tokenEnd == at() + 1) {
    reportColon(name::kRestOfLine);
  } else if (*at() == ':' && scan_.tokenEnd == at() + 1) {
    // A ':' alone, as other BASICs separate statements with it.
    report(at(), name::kRestOfLine, "':' is no separator here: " + colonMessage(rest, statement),
           std::string(kOwnLines));
  } else if (rest == Rest::Let && *at() == ':') {
    report(at(), name::kRestOfLine,
           "':' is no separator here: the assignment ends at " + current() +
               ", and the run steps over it",
           std::string(kOwnLines));
  } else {
    report(at(), name::kRestOfLine, withCause(restMessage(rest, kind(), current(), statement)),
           causeAdvice());
  }
  step();
}

// PRINT { string | "," | ";" | expression }
// Items with nothing between them are written back to back.
void Checker::checkPrint() {
  step();
  bool afterValue = false;
  while (true) {
    const bool isValue =
        kind() == TokenKind::String || kind() == TokenKind::Variable || kind() == TokenKind::Number;
    if (isValue && afterValue && kind() == TokenKind::String && previous_ == TokenKind::String &&
        at()[-1] == '"') {
      // Other BASICs write a '"' inside a literal as '""'.
      report(at(), name::kPrintItem,
             "a literal cannot hold a '\"': this one ends at the first, and the next starts at the "
             "second; PRINT writes the two back to back",
             "use an apostrophe inside instead, as in \"he said 'hi'\"");
    } else if (isValue && afterValue) {
      report(at(), name::kPrintItem,
             current() + " follows the item before it with no ',' or ';' between them: PRINT " +
                 "writes the two back to back; put ';' between them, or ',' for a space");
    }
    const char* const item = at();
    if (!printItem()) break;
    afterValue = isValue;
    if (kind() == TokenKind::Newline || kind() == TokenKind::EndOfText) {
      if (*item == ';') {
        report(item, name::kPrintItem,
               "every PRINT ends its line, so the next PRINT starts a new one: the ';' at its end "
               "changes nothing",
               "remove it; what belongs on one line needs one PRINT");
        offer(blanksBefore(text_, item), item + 1, "");
      } else if (*item == ',') {
        report(item, name::kPrintItem,
               "every PRINT ends its line, so the next PRINT starts a new one: the ',' at its end "
               "only adds a space",
               "print what belongs on one line with one PRINT");
      }
      return;
    }
  }
  endPrint();
}

bool Checker::printItem() {
  switch (kind()) {
    case TokenKind::String: {
      const char* const end = scan_.tokenEnd;
      const auto length = (isClosedLiteral(at(), end) ? end - 1 : end) - (at() + 1);
      if (length > kLiteralMax) {
        // Other than ASCII, a character takes several bytes, and the cut may split one.
        const bool ascii = std::all_of(at() + 1, at() + 1 + length,
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        report(
            at(), name::kLongLiteral,
            "PRINT writes only the first " + number(kLiteralMax) +
                " bytes of a literal; this one has " + std::to_string(length) +
                (ascii ? ""
                       : ", and a character other than ASCII takes 2 to 4 bytes, so the "
                         "cut may split one"),
            "split it into literals of " + number(kLiteralMax) + " bytes at most, joined by ';'");
      }
      step();
      return true;
    }
    case TokenKind::Comma:
    case TokenKind::Semicolon:
      step();
      return true;
    case TokenKind::Variable:
    case TokenKind::Number:
      expression(TokenKind::Invalid, nullptr);
      return true;
    default:
      return false;
  }
}

// The token that ended the PRINT list, when it is not the statement's end.
void Checker::endPrint() {
  if (endsStatement()) return;
  const std::string rest = ": the run steps over it and runs what follows as statements";
  if (kind() == TokenKind::Plus && previous_ == TokenKind::String) {
    report(at(), name::kPrintItem, "literals are not added: '+' ends the PRINT list" + rest,
           "write ';' for '+' to print them together");
    offer(at(), at() + 1, ";");
  } else if (kind() == TokenKind::Minus || kind() == TokenKind::Plus) {
    report(
        at(), name::kUnarySign,
        "there is no unary sign: " + current() + " ends the PRINT list, and the run steps over it",
        signAdvice(at(), false).words);
    offer(signAdvice(at(), false));
  } else if (kind() == TokenKind::LeftParen && cause().empty()) {
    // What follows then runs as a statement: a variable after '(' starts an assignment.
    const char* const inner = skipBlanks(at() + 1);
    const bool assigns = isLower(*inner) && !isLetter(inner[1]);
    report(at(), name::kPrintItem,
           "an item that starts with '(' ends the PRINT list" +
               (assigns ? ": the run steps over it and reads what follows as an assignment to " +
                              std::string(1, *inner)
                        : rest),
           "write '0+(' for '('");
    offer(at(), at() + 1, "0+(");
  } else if (const char* comment = commentAfter(at()); comment != nullptr || *at() == '#') {
    // A comment after the items: the PRINT has printed them, the words after it then run.
    if (comment == nullptr) comment = at();
    report(
        at(), name::kPrintItem,
        "there are no comments: the PRINT list ends at " +
            (*at() == '\'' ? std::string("the apostrophe") : quote(at(), wordEnd(at()))) +
            (wordsAfter(wordEnd(comment)) ? ", and the run reads the words after it as statements"
                                          : ", and the run steps over it"),
        "remove the comment");
    // A ';' before it would end the list then, where it changes nothing: it goes too.
    const char* from = blanksBefore(text_, at());
    if (from != text_ && from[-1] == ';') from = blanksBefore(text_, from - 1);
    offer(from, lineEnd(at()), "");
  } else if (isRelational(kind())) {
    report(at(), name::kPrintItem,
           "comparisons work only in IF conditions: " + current() + " ends the PRINT list" + rest);
  } else if (*at() == ':' && scan_.tokenEnd == at() + 1) {
    reportColon(name::kPrintItem);
  } else if (*at() == ':') {
    report(at(), name::kPrintItem,
           "':' is no separator here: " + current() +
               " ends the PRINT list, and the run steps over it",
           std::string(kOwnLines));
  } else if (!cause().empty()) {
    report(at(), name::kPrintItem, withCause(current() + " ends the PRINT list" + rest),
           causeAdvice());
  } else if (isUpper(*at()) && !isLetter(at()[1]) && !isDigit(at()[1])) {
    report(at(), name::kPrintItem,
           "variables are lower case: " + current() + " ends the PRINT list" + rest,
           lowerLetterAdvice(at()));
    offerLower();
  } else {
    report(at(), name::kPrintItem,
           current() + " ends the PRINT list, since an item starts with a literal, a variable, " +
               "a number, ',' or ';'" + rest);
  }
  step();
}

// IF relation THEN statement [ELSE statement]. Both statements are checked; each IF takes the
// next ELSE after its own statement.
void Checker::checkIf() {
  const int feeds = feedsStepped_;
  const char* const ifAt = at();
  step();
  const char* const condition = at();
  relation();
  if (*at() == '!' && at()[1] == '=' && scan_.tokenEnd == at() + 2) {
    report(at(), name::kOperatorPair,
           "there is no '!=' operator: the condition ends before it, and the run steps over it "
           "in THEN's place",
           pairAdvice('!', '=', condition, at(), at() + 2).words);
    offer(pairAdvice('!', '=', condition, at(), at() + 2));
  } else if (kind() != TokenKind::Then) {
    const TokenKind skipped = kind();
    const std::size_t missing =
        missingWord(name::kMissingThen, "IF needs 'then' after its condition", ifAt, "then");
    if (missing != kNone) findings_[missing].message += thenSkipped(skipped);
  }
  step();
  if (feedsStepped_ != feeds) conditionReadOn_ = true;
  if (thenLine_ != lineStart_) {
    thenLine_ = lineStart_;
    thensOnLine_ = 0;
    elseOnLine_ = false;
  }
  ++thensOnLine_;
  if (depth_ >= kNestingDepthMax) {
    report(at(), name::kNestingDepth,
           "IFs run inside other IFs at most " + number(kNestingDepthMax) +
               " deep: this statement runs as if it stood alone");
    return;
  }
  ++depth_;
  branch("then");
  if (kind() == TokenKind::Else) {
    elseAt_ = at();
    elseOnLine_ = elseOnLine_ || thenLine_ == lineStart_;
    step();
    branch("else");
  }
  --depth_;
}

void Checker::branch(std::string_view keyword) {
  const bool outer = inBranch_;
  inBranch_ = true;
  const bool isThen = keyword == "then";
  if (kind() == TokenKind::Newline || kind() == TokenKind::EndOfText) {
    report(at(), name::kMissingStatement,
           "nothing follows '" + std::string(keyword) + "' on its line" +
               (isThen && kind() == TokenKind::Newline
                    ? ": when the condition is false, the run skips the next line too"
                    : ": the statement must stand on the same line"),
           "write the statement after '" + std::string(keyword) + "', on this line");
  } else if (isThen && kind() == TokenKind::Else) {
    report(at(), name::kMissingStatement,
           "nothing stands between 'then' and 'else': the run never takes this ELSE");
  } else {
    statement();
  }
  inBranch_ = outer;
}

// GOTO n
void Checker::checkGoto() {
  const char* const start = at();
  step();
  if (kind() == TokenKind::Number) leavesLoop(decimalValue(at()), start);
  jumpTarget("GOTO");
  if (!endsStatement()) step();
  endStatement(Rest::Goto, start);
}

// GOSUB n: steps over the number and one more token, which should end the line.
void Checker::checkGosub() {
  const char* const start = at();
  step();
  jumpReadOn_ = kind() == TokenKind::Newline;  // it jumps to the next line's number at once
  sawGosub_ = true;
  if (kind() == TokenKind::Number && lineExists(decimalValue(at())))
    calls_.push_back({start, decimalValue(at())});
  jumpTarget("GOSUB");
  step();
  endStatement(Rest::Gosub, start);
}

// What to jump to in place of line `n`, which no line has: the lines numbered nearest to it.
std::string Checker::nearestLines(std::int32_t n) const {
  if (kCompactChecker) return {};
  // Not the jump's own line, which would loop.
  const std::int32_t own = numberOfLine(lineStart_);
  const auto isLine = [&](std::int32_t m) {
    return m != own && lineAt_[static_cast<std::size_t>(m)] != nullptr;
  };
  std::int32_t below = std::min(n, kLineNumberCount - 1);
  while (below >= 0 && !isLine(below))
    --below;
  std::int32_t above = n;
  while (above < kLineNumberCount && !isLine(above))
    ++above;
  std::string lines;
  if (below >= 0) lines = "line " + number(below);
  if (above < kLineNumberCount) lines += (lines.empty() ? "line " : " or ") + number(above);
  return lines.empty()
             ? std::string()
             : "add a line " + number(n) + ", or jump to one that is there, such as " + lines;
}

// The line number after GOTO or GOSUB: the run converts the text there, whatever token it is.
void Checker::jumpTarget(std::string_view keyword) {
  const std::int32_t n = decimalValue(at());
  if (kind() == TokenKind::Number) {
    if (!lineExists(n)) {
      std::string inside;
      if (!swallowedBy_.empty() && n < kLineNumberCount &&
          swallowedBy_[static_cast<std::size_t>(n)] != kNone) {
        const Swallowing& literal = swallowing_[swallowedBy_[static_cast<std::size_t>(n)]];
        inside = "; the line that starts with " + number(n) +
                 " is inside the literal that opens on " + literal.lineName;
      }
      report(at(), name::kMissingLine,
             "no line is numbered " + number(n) + ": the run ends here" + inside,
             inside.empty() ? nearestLines(n) : std::string());
    }
    return;
  }
  if (kind() == TokenKind::Invalid && isDigit(*at())) return;  // a long number, reported
  report(at(), name::kJumpTarget,
         std::string(keyword) + " needs a line number, not " + current() + ": the run reads " +
             number(n) + " from the text there" +
             (lineExists(n) ? " and goes to that line" : ", finds no such line and ends"));
}

// FOR v = start TO limit
void Checker::checkFor() {
  const char* const start = at();
  forLine_ = lineStart_;
  // A loop the walk can follow in text order: one the run surely meets on its way down.
  const bool counted = !derailed_ && !inBranch_ && fallsInto_;
  step();
  loopVariable(start, true);
  const char variable = kind() == TokenKind::Variable ? *at() : 'i';
  forNext_ =
      kind() == TokenKind::Variable ? lastNext_[static_cast<std::size_t>(variable - 'a')] : nullptr;
  // The run records no fifth loop: its NEXT then names no open loop, and is no mistake itself.
  const std::size_t depth = loops_.size() >= kForDepthMax ? loops_.size() : kNone;
  if (counted && kind() == TokenKind::Variable && depth == kNone) openLoop(*at());
  step();
  const char* const equals = at();
  expectEquals("FOR", start);
  const Operand first = expression(TokenKind::Equals, equals);
  storedValue(first);
  const std::size_t missing =
      kind() == TokenKind::To
          ? kNone
          : missingWord(name::kMissingTo, "FOR needs 'to' between its values", start, "to");
  step();
  if (missing != kNone && (kind() == TokenKind::Newline || kind() == TokenKind::EndOfText)) {
    findings_[missing].message +=
        std::string(", so the end value is 0") + (first.isNumber ? " and the body runs once" : "");
  }
  const Operand limit = expression(TokenKind::Invalid, nullptr);
  if (limit.isNumber && limit.value > kVariableMax) {
    // Told also beside a mistake later on the line, such as a STEP.
    const bool after = derailed_ && findings_[derailFinding_].at > limit.start;
    report(limit.start, name::kValueRange,
           "a variable holds at most " + number(kVariableMax) + ": the loop ends once it passes " +
               number(kVariableMax) + ", not at " + number(limit.value),
           "count to " + number(kVariableMax) + " at most", after);
  } else if (first.isNumber && limit.isNumber && first.value <= kVariableMax &&
             first.value > limit.value) {
    const std::string from = number(first.value);
    report(
        limit.start, name::kLoopRunsOnce,
        "FOR counts up only: from " + from + " to " + number(limit.value) + " its body runs once",
        "to count down, count up from 0 to " + number(first.value - limit.value) + " and use '" +
            from + " - " + std::string(1, variable) + "'",
        true);  // also beside a STEP, which other BASICs count down with
  }
  if (depth != kNone) {
    report(start, name::kLoopDepth,
           "loops nest at most " + number(kForDepthMax) +
               " deep: this fifth FOR records no loop, so its body runs once");
  }
  endStatement(Rest::For, start);
}

// NEXT v
void Checker::checkNext() {
  const char* const start = at();
  const bool counted = !derailed_;
  step();
  loopVariable(start, false);
  if (counted && kind() == TokenKind::Variable) closeLoop(*at(), start);
  step();
  endStatement(Rest::Next, start);
}

// The variable after FOR or NEXT, whose keyword stands at `keyword`.
void Checker::loopVariable(const char* keyword, bool isFor) {
  if (kind() != TokenKind::Variable) {
    report(at(), name::kNotAVariable,
           std::string(isFor ? "FOR" : "NEXT") + " needs a variable a to z, not " + current() +
               (isFor ? ": no loop is recorded, and its body runs once" : ": it does nothing"),
           lowerLetterAdvice(at()));
    offerLower();
    return;
  }
  const auto index = static_cast<std::size_t>(*at() - 'a');
  const std::string variable(1, *at());
  if (isFor && (lastNext_[index] == nullptr || lastNext_[index] < at())) {
    const HiddenNext& hidden = hiddenNext_[index];
    report(keyword, name::kForWithoutNext,
           hidden.at > at() ? "'next " + variable + "' on " + hidden.lineName +
                                  " is inside the literal that opens on " +
                                  swallowing_[hidden.literal].lineName +
                                  ", so no NEXT follows this FOR: its body runs once"
                            : "no 'next " + variable + "' follows this FOR: its body runs once");
  }
  if (!isFor && (firstFor_[index] == nullptr || firstFor_[index] > at())) {
    // The loop open here is evidently the one meant, unless a FOR of this variable stands
    // anywhere, even one the run does not read as such.
    const std::string open = loops_.empty() || forOfAnyCase(*at())
                                 ? std::string()
                                 : std::string(1, loops_.back().variable);
    report(keyword, name::kNextWithoutFor,
           "no 'for " + variable + "' comes before this NEXT: it does nothing",
           open.empty() ? std::string()
                        : "the loop open here is over " + open + ", from " +
                              lineName(loops_.back().line.start, loops_.back().line.line) +
                              ": write 'next " + open + "'");
    if (!open.empty()) offer(at(), at() + 1, open);
  }
}

// A FOR of `variable` opens a loop, inside those open already.
void Checker::openLoop(char variable) {
  loops_.push_back({variable, {lineStart_, textLine_}});
  ++openLoops_[static_cast<std::size_t>(variable - 'a')];
}

// A NEXT of `variable`, whose keyword stands at `keyword`: the run acts on it only when it
// names the innermost loop.
void Checker::closeLoop(char variable, const char* keyword) {
  if (loops_.empty() || openLoops_[static_cast<std::size_t>(variable - 'a')] == 0) return;
  const OpenLoop& inner = loops_.back();
  if (inner.variable == variable) {
    --openLoops_[static_cast<std::size_t>(variable - 'a')];
    loops_.pop_back();
    return;
  }
  const std::string named(1, variable);
  const std::string open(1, inner.variable);
  // The inner loop's own NEXT further down: the two NEXTs are evidently swapped.
  const char* const here = at();
  int textLine = textLine_;
  const char* other = nullptr;
  for (const char* line = kCompactChecker ? "" : lineEnd(here); *line == '\n' && other == nullptr;
       line = lineEnd(line)) {
    ++line;
    ++textLine;
    const char* const next = nextVariable(skipBlanks(skipDigits(skipBlanks(line))));
    if (next != nullptr && *next == inner.variable) other = next;
  }
  const std::string message = "'next " + named + "' names an outer loop while the loop over " +
                              open + " from " + lineName(inner.line.start, inner.line.line) +
                              " is open: the run ignores it";
  if (other == nullptr) {
    report(keyword, name::kNextOuterLoop, message,
           "close the inner loop first, with 'next " + open + "'");
    return;
  }
  const char* otherLine = other;
  while (otherLine != text_ && otherLine[-1] != '\n')
    --otherLine;
  report(keyword, name::kNextOuterLoop, message,
         "swap the two NEXTs: write 'next " + open + "' here and 'next " + named + "' on " +
             lineName(otherLine, textLine));
  offer(here, other + 1, open + std::string(here + 1, other) + named);
}

// A GOTO at `keyword` to line `target` that starts with the NEXT of an outer loop, from inside
// an inner one: the run ignores that NEXT, since the inner loop is still open.
void Checker::leavesLoop(std::int32_t target, const char* keyword) {
  if (derailed_ || loops_.size() < 2 || target < 0 || target >= kLineNumberCount ||
      lineAt_[static_cast<std::size_t>(target)] == nullptr) {
    return;
  }
  const char* statement = lineAt_[static_cast<std::size_t>(target)];
  while (isDigit(*statement))
    ++statement;
  statement = skipBlanks(statement);
  const char* const variable = nextVariable(statement);
  if (variable == nullptr) return;
  const OpenLoop& inner = loops_.back();
  if (inner.variable == *variable || openLoops_[static_cast<std::size_t>(*variable - 'a')] == 0)
    return;
  const std::string open(1, inner.variable);
  report(keyword, name::kNextOuterLoop,
         "this GOTO leaves the loop over " + open + " from " +
             lineName(inner.line.start, inner.line.line) + " open, so the run ignores " +
             quote(statement, variable + 1) + " on line " + number(target) +
             ", which names an outer loop",
         "to leave the loop, set " + open + " past its limit and jump to its 'next " + open + "'");
}

// relation -> expression { ("<" | ">" | "=") expression }
void Checker::relation() {
  const char* const outer = relationStart_;
  relationStart_ = at();
  const Operand left = expression(TokenKind::Invalid, nullptr);
  const bool leftAlone = isVariableAlone(left);
  int comparisons = 0;
  TokenKind compared = TokenKind::Invalid;
  Operand right{};
  bool rightAlone = false;
  while (isRelational(kind())) {
    const TokenKind op = kind();
    const char* const opAt = at();
    step();
    const Operand operand = expression(op, opAt);
    if (++comparisons == 1) {
      compared = op;
      right = operand;
      rightAlone = isVariableAlone(operand);
    }
  }
  relationStart_ = outer;
  // A variable compared with a number it can never hold: the comparison always or never holds.
  if (comparisons != 1 || leftAlone == rightAlone) return;
  const Operand& number = leftAlone ? right : left;
  if (!number.isNumber || number.value <= kVariableMax) return;
  const bool variableLess = compared == (leftAlone ? TokenKind::Less : TokenKind::Greater);
  const char* const end = at() > left.start ? lastTokenEnd(left.start, at()) : left.start;
  report(left.start, name::kValueRange,
         "a variable holds -128 to 127, so " + quote(left.start, end) +
             (variableLess ? " always holds" : " never holds"),
         "compare with a number from -128 to 127");
}

// Whether `operand`, the expression just read, is one variable and nothing else.
bool Checker::isVariableAlone(const Operand& operand) const {
  return !operand.isNumber && isLower(*operand.start) && !isLetter(operand.start[1]) &&
         skipBlanks(operand.start + 1) == at();
}

// expression -> term { ("+" | "-" | "&" | "|") term }. `before` is the operator in front of
// it, when there is one, for the pairs such as "<=".
Operand Checker::expression(TokenKind before, const char* beforeAt) {
  Operand value = term(before, beforeAt);
  while (isAdditive(kind())) {
    const TokenKind op = kind();
    const char* const opAt = at();
    step();
    term(op, opAt);
    value.isNumber = false;
  }
  return value;
}

// term -> factor { ("*" | "/" | "%") factor }
Operand Checker::term(TokenKind before, const char* beforeAt) {
  Operand value = factor(before, beforeAt);
  while (isMultiplicative(kind())) {
    const TokenKind op = kind();
    const char* const opAt = at();
    step();
    factor(op, opAt);
    value.isNumber = false;
  }
  return value;
}

// factor -> number | variable | "(" expression ")"; anything else is consumed and read as 0.
Operand Checker::factor(TokenKind before, const char* beforeAt) {
  const Operand operand{at(), false, 0};
  if (kind() == TokenKind::Number) {
    const Operand number{at(), true, decimalValue(at())};
    step();
    return number;
  }
  if (kind() == TokenKind::LeftParen && depth_ < kNestingDepthMax) {
    parenthesis();
    return operand;
  }
  if (kind() != TokenKind::Variable) badOperand(before, beforeAt);
  step();
  return operand;
}

// "(" expression ")": the run steps over whatever token follows the inner expression.
void Checker::parenthesis() {
  ++depth_;
  const char* const open = at();
  step();
  expression(TokenKind::LeftParen, open);
  const std::string condition =
      isRelational(kind()) ? conditionUpTo(relationStart_, at(), scan_.tokenEnd) : "";
  if (!condition.empty()) {
    // Parentheses around the whole condition, as other BASICs allow: they go.
    const char* close = nullptr;
    if (open == relationStart_) {
      int depth = 1;
      for (const char* c = open + 1; *c != '\0' && *c != '\n' && *c != '"'; ++c) {
        depth += *c == '(' ? 1 : *c == ')' ? -1 : 0;
        if (depth == 0) {
          close = c;
          break;
        }
      }
    }
    const std::string inner =
        close != nullptr ? std::string(skipBlanks(open + 1), lastTokenEnd(open + 1, close)) : "";
    report(at(), name::kMissingParen,
           "comparisons work only outside parentheses: the run steps over " + current() +
               " as if it were ')', so the condition becomes " + condition,
           close != nullptr ? "leave out the parentheses: write " +
                                  quote(inner.data(), inner.data() + inner.size(), kLoweredLineMax)
                            : std::string());
    if (close != nullptr) offer(open, close + 1, inner);
  } else if (isRelational(kind())) {
    report(at(), name::kMissingParen,
           "comparisons work only in IF conditions, not inside parentheses: the run steps over " +
               current() + " as if it were ')'");
  } else if (kind() == TokenKind::Newline) {
    // Every parenthesis still open on the line closes at its end.
    std::vector<const char*> unclosed;
    bool inLiteral = false;
    for (const char* c = lineStart_; c < at(); ++c) {
      inLiteral = inLiteral != (*c == '"');
      if (!inLiteral && *c == '(') unclosed.push_back(c);
      if (!inLiteral && *c == ')' && !unclosed.empty()) unclosed.pop_back();
    }
    if (unclosed.empty()) unclosed.push_back(open);
    const char* const outer = unclosed.front();
    const char* end = at() > open && at()[-1] == '\r' ? at() - 1 : at();
    const std::string closed = std::string(outer, end) + std::string(unclosed.size(), ')');
    report(at(), name::kMissingParen, "')' is missing at the end of the line",
           closed.size() <= kLoweredLineMax
               ? "write " + quote(closed.data(), closed.data() + closed.size(), kLoweredLineMax)
               : "close it at the line's end");
    offer(end, end, closed.substr(static_cast<std::size_t>(end - outer)));
  } else if (kind() != TokenKind::RightParen) {
    report(at(), name::kMissingParen, inPlaceOf("')' is missing"), causeAdvice());
  }
  step();
  --depth_;
}

// An operand that the run consumes and reads as 0, or as the variable of a keyword's first
// letter.
void Checker::badOperand(TokenKind before, const char* beforeAt) {
  const Advice pair = beforeAt != nullptr && isRelational(before)
                          ? pairAdvice(*beforeAt, *at(), relationStart_, beforeAt, at() + 1)
                          : Advice{};
  if (beforeAt != nullptr && *beforeAt == '/' && *at() == '/') {
    // Other BASICs' (and other languages') comment.
    report(beforeAt, name::kMissingOperand,
           "there are no comments: the run reads '//' and the words after it as more of the "
           "expression",
           "remove the comment");
    offer(blanksBefore(text_, beforeAt), lineEnd(at()), "");
  } else if (!pair.words.empty()) {
    report(beforeAt, name::kOperatorPair,
           "there is no '" + std::string{*beforeAt, *at()} + "' operator: the run reads its " +
               quote(at(), at() + 1) + " as 0",
           pair.words);
    offer(pair);
  } else if (kind() == TokenKind::Minus || kind() == TokenKind::Plus) {
    const char* const operandEnd = signOperandEnd(at());
    const std::string ends =
        operandEnd != nullptr
            ? " and ends the expression before " + quote(skipBlanks(at() + 1), operandEnd)
            : ", and the operand after it ends the expression";
    const Advice sign = signAdvice(at(), isAdditive(before) || isMultiplicative(before));
    report(at(), name::kUnarySign,
           "there is no unary sign: the run reads " + current() + " as 0" + ends, sign.words);
    offer(sign);
  } else if (kind() == TokenKind::Newline) {
    report(at(), name::kMissingOperand,
           "an operand is missing at the end of the line: the run reads the line's end as 0");
  } else if (kind() == TokenKind::LeftParen) {
    report(at(), name::kNestingDepth,
           "parentheses nest at most " + number(kNestingDepthMax) + " deep: this '(' reads as 0");
  } else if (const WordHint hint = upperWordHint(at()); !hint.cause.empty()) {
    report(at(), name::kNotAVariable,
           std::string(hint.cause) + ": the run reads " + current() + " as 0",
           std::string(hint.advice));
  } else if (kind() == TokenKind::Invalid) {
    report(at(), name::kNotAVariable,
           withCause(current() + " is no variable (a to z): the run reads it as 0"),
           causeAdvice().empty() ? lowerLetterAdvice(at()) : causeAdvice());
    if (causeAdvice().empty()) offerLower();
  } else if (isKeywordKind(kind())) {
    report(at(), name::kMissingOperand,
           "the keyword " + current() + " stands where an operand belongs: the run reads it as " +
               "the variable " + quote(at(), at() + 1));
  } else {
    report(at(), name::kMissingOperand,
           current() + " stands where an operand belongs: the run reads it as 0");
  }
}

}  // namespace linebasic::check

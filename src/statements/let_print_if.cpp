// The statements that assign, print and branch within a line: LET, PRINT and IF.
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "interpreter/interpreter.h"

namespace linebasic {

// [LET] v = expression: keeps the low 8 bits of the value; the "=" and the token that ends
// the statement are stepped over whatever they are.
void Interpreter::execLet() {
  const char name = *tokenStart;
  advance();
  advance();
  const std::int32_t value = evalExpression();
  storeVariable(name, value);
  advance();
}

// PRINT { string | "," | ";" | expression }: writes the items back to back, a space for each
// comma, and always ends the output line.
void Interpreter::execPrint() {
  advance();
  while (printItem() && token != TokenKind::Newline && token != TokenKind::EndOfText) {
  }
  if (!toSink("\n")) std::printf("\n");
  advance();
}

// Hands `text` to the host's sink; false, writing nothing, when there is none and PRINT
// writes to standard output itself.
bool Interpreter::toSink(std::string_view text) const {
  if (output.write == nullptr) return false;
  output.write(output.context, text);
  return true;
}

// Writes the item at the current token and steps past it; false, consuming nothing, when the
// token starts no item. An expression item must begin with a variable or a number.
bool Interpreter::printItem() {
  switch (token) {
    case TokenKind::String:
      printLiteral();
      advance();
      return true;
    case TokenKind::Comma:
      if (!toSink(" ")) std::printf(" ");
      advance();
      return true;
    case TokenKind::Semicolon:
      advance();
      return true;
    case TokenKind::Variable:
    case TokenKind::Number:
      printNumber(evalExpression());
      return true;
    default:
      return false;
  }
}

// Writes a value in decimal.
void Interpreter::printNumber(std::int32_t value) {
  if (output.write == nullptr) {
    std::printf("%d", value);
    return;
  }
  char digits[12];  // a sign and ten digits
  const char* const end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  toSink({digits, static_cast<std::size_t>(end - digits)});
}

// Writes the literal's text up to its closing quote, or to the end of the text when it has
// none, cut at kLiteralMax characters.
void Interpreter::printLiteral() {
  const char* const text = tokenStart + 1;
  int length = 0;
  while (length < kLiteralMax && text[length] != '"' && text[length] != '\0') {
    literal[length] = text[length];
    ++length;
  }
  literal[length] = '\0';
  if (!toSink({literal, static_cast<std::size_t>(length)})) std::printf("%s", literal);
}

// IF relation THEN statement [ELSE statement]: runs one of the two statements.
void Interpreter::execIf() {
  execIfOn(nullptr);
}

// `line` describes the IF's line when an enclosing IF on the same line has scanned it already,
// so that a chain of IFs scans its line once. It is used only while this IF's statement still
// stands on that line: a condition may run over a line-feed.
void Interpreter::execIfOn(const IfLine* line) {
  advance();
  const std::int32_t condition = evalRelation();
  advance();
  if (condition != 0) {
    runTrueBranch(line != nullptr && tokenStart <= line->end ? line : nullptr);
  } else {
    skipToOwnElse(line);
  }
}

// A true IF runs its statement and skips the ELSE part: if execution is still on this line
// and the line holds an ELSE after THEN, the rest of the line is stepped over. Too deep a chain
// leaves the statement as the current token.
void Interpreter::runTrueBranch(const IfLine* line) {
  if (nestingDepth >= kNestingDepthMax) return;
  const char* const statementStart = tokenStart;
  const IfLine thisLine = line != nullptr ? *line : scanIfLine();
  runBranch(&thisLine);
  const bool hasElse = thisLine.lastElse != nullptr && thisLine.lastElse >= statementStart;
  const bool onThisLine = tokenStart >= statementStart && tokenStart < thisLine.end;
  if (!hasElse || endReached != 0 || !onThisLine) return;
  while (token != TokenKind::Newline && token != TokenKind::EndOfText)
    advance();
}

// A false IF takes its own ELSE, never the token right after THEN. Each IF met on the way,
// that token included, owns the next ELSE, which is stepped over. No ELSE of its own: the run
// goes on after the line-feed.
void Interpreter::skipToOwnElse(const IfLine* line) {
  std::size_t innerIfs = token == TokenKind::If ? 1 : 0;
  while (true) {
    advance();
    if (token == TokenKind::If) {
      ++innerIfs;
    } else if (token == TokenKind::Else) {
      if (innerIfs == 0) break;
      --innerIfs;
    } else if (token == TokenKind::Newline || token == TokenKind::EndOfText) {
      break;
    }
  }
  if (token == TokenKind::Else) {
    advance();
    runBranch(line);
  } else if (token == TokenKind::Newline) {
    advance();
  }
}

// Scans ahead from the current token to the end of its line, then puts the scan back.
Interpreter::IfLine Interpreter::scanIfLine() {
  const char* const savedStart = tokenStart;
  const char* const savedEnd = tokenEnd;
  const TokenKind savedToken = token;
  const std::int32_t savedOrdinal = lineOrdinal;
  IfLine line{nullptr, nullptr};
  while (token != TokenKind::Newline && token != TokenKind::EndOfText) {
    if (token == TokenKind::Else) line.lastElse = tokenStart;
    advance();
  }
  line.end = tokenStart;
  tokenStart = savedStart;
  tokenEnd = savedEnd;
  token = savedToken;
  lineOrdinal = savedOrdinal;
  return line;
}

// Runs the statement after THEN or ELSE, unless IFs already nest kNestingDepthMax deep: then
// that statement is left as the current token for the run loop.
void Interpreter::runBranch(const IfLine* line) {
  if (nestingDepth >= kNestingDepthMax) return;
  ++nestingDepth;
  if (token == TokenKind::If) {
    execIfOn(line);  // the dispatcher's IF row, told what is known of this line
  } else {
    executeStatement();
  }
  --nestingDepth;
}

}  // namespace linebasic

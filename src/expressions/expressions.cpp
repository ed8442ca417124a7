// The expression evaluator: recursive descent straight from the token stream. Each level
// reads its operands through advance, combines them in 32-bit arithmetic, and leaves the
// first token it cannot use as the current token.
//
//   relation   -> expression { ("<" | ">" | "=") expression }
//   expression -> term { ("+" | "-" | "&" | "|") term }
//   term       -> factor { ("*" | "/" | "%") factor }
//   factor     -> number | "(" expression <any token> | <any other token>
#include <cstdint>

#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace linebasic {
namespace {

// Sums, differences and products wrap around in two's complement.
std::int32_t wrapping(std::uint32_t value) {
  return static_cast<std::int32_t>(value);
}
std::uint32_t bits(std::int32_t value) {
  return static_cast<std::uint32_t>(value);
}

// Division truncates toward zero. Division by zero gives 0, and the one quotient that does not
// fit, INT32_MIN / -1, wraps to INT32_MIN.
std::int32_t divide(std::int32_t left, std::int32_t right) {
  if (right == 0) return 0;
  if (right == -1) return wrapping(0U - bits(left));
  return left / right;
}

// The remainder takes the sign of the dividend; by zero it is 0, and by -1 always 0.
std::int32_t remainder(std::int32_t left, std::int32_t right) {
  if (right == 0 || right == -1) return 0;
  return left % right;
}

std::int32_t applyMultiplicative(TokenKind op, std::int32_t left, std::int32_t right) {
  switch (op) {
    case TokenKind::Star:
      return wrapping(bits(left) * bits(right));
    case TokenKind::Slash:
      return divide(left, right);
    default:
      return remainder(left, right);
  }
}

std::int32_t applyAdditive(TokenKind op, std::int32_t left, std::int32_t right) {
  switch (op) {
    case TokenKind::Plus:
      return wrapping(bits(left) + bits(right));
    case TokenKind::Minus:
      return wrapping(bits(left) - bits(right));
    case TokenKind::Ampersand:
      return left & right;
    default:
      return left | right;
  }
}

std::int32_t applyRelational(TokenKind op, std::int32_t left, std::int32_t right) {
  switch (op) {
    case TokenKind::Less:
      return left < right ? 1 : 0;
    case TokenKind::Greater:
      return left > right ? 1 : 0;
    default:
      return left == right ? 1 : 0;
  }
}

}  // namespace

// Comparisons give 1 or 0; a chain compares that result with the next operand.
std::int32_t Interpreter::evalRelation() {
  std::int32_t value = evalExpression();
  while (isRelational(token)) {
    const TokenKind op = token;
    advance();
    value = applyRelational(op, value, evalExpression());
  }
  return value;
}

// "&" and "|" are bitwise and bind exactly as loosely as "+" and "-". The levels below are
// compiled into this one (flatten), so an operand costs no calls.
[[gnu::flatten]] std::int32_t Interpreter::evalExpression() {
  std::int32_t value = evalTerm();
  while (isAdditive(token)) {
    const TokenKind op = token;
    advance();
    value = applyAdditive(op, value, evalTerm());
  }
  return value;
}

std::int32_t Interpreter::evalTerm() {
  std::int32_t value = evalFactor();
  while (isMultiplicative(token)) {
    const TokenKind op = token;
    advance();
    value = applyMultiplicative(op, value, evalFactor());
  }
  return value;
}

// A parenthesis closes with whatever token follows the inner expression. A "(" that would
// nest deeper than kNestingDepthMax is read like any other unexpected operand.
std::int32_t Interpreter::evalFactor() {
  if (token == TokenKind::Number) {
    const std::int32_t value = decimalValue(tokenStart);
    advance();
    return value;
  }
  if (token == TokenKind::LeftParen && nestingDepth < kNestingDepthMax) {
    ++nestingDepth;
    advance();
    const std::int32_t value = evalExpression();
    advance();
    --nestingDepth;
    return value;
  }
  return readVariable();
}

// Any other token is consumed and read as the variable named by its first character: 0 for a
// delimiter, a string or a line-feed, the variable of its first letter for a keyword.
std::int32_t Interpreter::readVariable() {
  const char name = *tokenStart;
  advance();
  return variableValue(name);
}

}  // namespace linebasic

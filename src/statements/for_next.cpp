// Counted loops. FOR records where the body begins; NEXT steps the variable by one and jumps
// back there until the variable exceeds the limit.
#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace linebasic {

// FOR v = start TO limit: assigns v and records the loop; the body runs at least once. A fifth
// nested loop, or one whose variable is no letter a to z, records no frame.
void Interpreter::execFor() {
  const std::int32_t ownLine = lineOrdinal;
  advance();
  const char name = *tokenStart;
  advance();
  advance();
  storeVariable(name, evalExpression());
  advance();
  const std::int32_t limit = evalExpression();
  advance();
  if (!isLower(name) || forDepth >= kForDepthMax) return;
  forStack[forDepth] =
      ForFrame{returnOrdinal(ownLine), static_cast<unsigned char>(name) - 'a', limit};
  ++forDepth;
}

// NEXT v: acts only on the innermost loop, and only when v is its variable. The loop ends when
// v exceeds the limit, and also when v wraps from 127 to -128, which no limit can stop.
void Interpreter::execNext() {
  advance();
  const char name = *tokenStart;
  advance();
  const bool namesInnermostLoop =
      forDepth > 0 && isLower(name) &&
      static_cast<unsigned char>(name) - 'a' == forStack[forDepth - 1].variableIndex;
  if (!namesInnermostLoop) {
    advance();
    return;
  }
  const ForFrame& frame = forStack[forDepth - 1];
  const std::int32_t before = variableValue(name);
  storeVariable(name, before + 1);
  if (before == kVariableMax || variableValue(name) > frame.limit) {
    --forDepth;
    advance();
    return;
  }
  jumpToOrdinal(frame.bodyOrdinal);
}

}  // namespace linebasic

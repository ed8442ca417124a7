// Unconditional jumps and subroutine calls. Targets are read by converting the text after the
// keyword, whatever token stands there.
#include "interpreter/interpreter.h"
#include "scanner/scanner.h"

namespace linebasic {

// GOTO n
void Interpreter::execGoto() {
  advance();
  jumpToLine(decimalValue(tokenStart));
}

// GOSUB n: records the line after its own as the return point and jumps; an eleventh nested
// call is dropped. It steps over the number and one more token, as a well-formed line needs.
void Interpreter::execGosub() {
  const std::int32_t ownLine = lineOrdinal;
  advance();
  const std::int32_t target = decimalValue(tokenStart);
  advance();
  advance();
  if (gosubDepth >= kGosubDepthMax) return;
  gosubStack[gosubDepth] = returnOrdinal(ownLine);
  ++gosubDepth;
  jumpToLine(target);
}

// RETURN: resumes at the latest call's return point; without an active call it does nothing.
void Interpreter::execReturn() {
  advance();
  if (gosubDepth == 0) return;
  --gosubDepth;
  jumpToOrdinal(gosubStack[gosubDepth]);
}

}  // namespace linebasic

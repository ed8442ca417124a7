// Construction, loading, the variables, and the statement dispatcher.
#include "interpreter/interpreter.h"

#include <cstring>

#include "scanner/scanner.h"

namespace linebasic {

Interpreter::Interpreter() : keywords(makeKeywordTable()) {
  load(kDefaultProgram);
}

void Interpreter::load(const char* text) {
  programText = text != nullptr ? text : "";
  programEnd = programText + std::strlen(programText);
  gosubDepth = 0;
  forDepth = 0;
  lineOrdinal = 0;
  tokenStart = programText;
  tokenEnd = programText;  // keeps tokenEnd inside this text even when it is empty
  token = scanToken();     // a Newline found here is not counted
  endReached = 0;
}

// Routes a token that starts a statement to its handler.
void Interpreter::runStatement() {
  ++statementCount;
  switch (token) {
    case TokenKind::Variable:
      execLet();
      break;
    case TokenKind::Let:
      advance();
      execLet();
      break;
    case TokenKind::Print:
      execPrint();
      break;
    case TokenKind::If:
      execIf();
      break;
    case TokenKind::For:
      execFor();
      break;
    case TokenKind::Next:
      execNext();
      break;
    case TokenKind::Goto:
      execGoto();
      break;
    case TokenKind::Gosub:
      execGosub();
      break;
    case TokenKind::Return:
      execReturn();
      break;
    case TokenKind::End:
      execEnd();
      break;
    default:
      advance();  // only a value beyond the kinds comes here
      break;
  }
}

// END: stops the run before the next statement.
void Interpreter::execEnd() {
  advance();
  endReached = 1;
}

}  // namespace linebasic

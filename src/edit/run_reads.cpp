// The walk over what runs read. Each function below takes the index of the token a handler of
// the interpreter starts on and returns the index it leaves current, stepping exactly as that
// handler steps; a statement adds to `ends` each token where the run loop may go on after it
// (none after a GOTO or END, whose run goes on at a line's start, if at all).
#include "edit/run_reads.h"

#include "interpreter/interpreter.h"

namespace linebasic {
namespace {

// The tokens of `text` as advance steps through them from the top.
std::vector<TextToken> tokensOf(const char* text) {
  Interpreter scan;
  scan.load(text);
  std::vector<TextToken> tokens;
  while (true) {
    tokens.push_back({static_cast<std::size_t>(scan.tokenStart - text),
                      static_cast<std::size_t>(scan.tokenEnd - text), scan.token});
    if (scan.token == TokenKind::EndOfText) break;
    scan.advance();
  }
  tokens.back().end = tokens.back().start;
  return tokens;
}

using Ends = std::vector<std::size_t>;

class Walk {
 public:
  explicit Walk(RunReads& reads)
      : reads_(reads),
        tokens_(reads.tokens),
        visited_(tokens_.size(), false),
        budget_(64 * tokens_.size() + 4096) {}

  // Runs the run loop from the top of the text and from every line-feed, the places a run can
  // go on from after a jump, a RETURN or a NEXT.
  void everywhere() {
    std::vector<std::size_t> pending{0};
    for (std::size_t at = 0; at < tokens_.size(); ++at) {
      if (tokens_[at].kind == TokenKind::Newline) pending.push_back(at);
    }
    while (!pending.empty() && reads_.complete) {
      const std::size_t from = pending.back();
      pending.pop_back();
      runLoop(from, pending);
    }
  }

 private:
  [[nodiscard]] TokenKind kind(std::size_t at) const { return tokens_[at].kind; }
  [[nodiscard]] bool endsLine(std::size_t at) const {
    return kind(at) == TokenKind::Newline || kind(at) == TokenKind::EndOfText;
  }
  std::size_t advance(std::size_t at) {
    if (budget_ == 0) reads_.complete = false;
    if (budget_ != 0) --budget_;
    return kind(at) == TokenKind::EndOfText ? at : at + 1;
  }

  // The run loop skips what starts no statement and runs the statements, until it meets a
  // token it has walked from already.
  void runLoop(std::size_t at, std::vector<std::size_t>& pending) {
    while (!visited_[at] && kind(at) != TokenKind::EndOfText && reads_.complete) {
      visited_[at] = true;
      if (!startsStatement(at)) {
        at = advance(at);
        continue;
      }
      statement_ = at;
      Ends ends;
      runStatement(at, 0, ends);
      pending.insert(pending.end(), ends.begin(), ends.end());
      return;
    }
  }

  [[nodiscard]] bool startsStatement(std::size_t at) const {
    return (detail::kStatementKinds >> static_cast<int>(kind(at)) & 1) != 0;
  }

  void executeStatement(std::size_t at, int depth, Ends& ends) {
    if (startsStatement(at)) {
      runStatement(at, depth, ends);
    } else {
      ends.push_back(advance(at));
    }
  }

  void runStatement(std::size_t at, int depth, Ends& ends) {
    switch (kind(at)) {
      case TokenKind::Let:
        ends.push_back(let(advance(at), depth));
        break;
      case TokenKind::Variable:
        ends.push_back(let(at, depth));
        break;
      case TokenKind::Print:
        ends.push_back(print(at, depth));
        break;
      case TokenKind::If:
        ifOn(at, depth, ends);
        break;
      case TokenKind::For:
        ends.push_back(forLoop(at, depth));
        break;
      case TokenKind::Next:  // one token more whether it loops, ends or names no loop
        ends.push_back(advance(advance(advance(at))));
        break;
      case TokenKind::Goto:
        reads_.jumps.push_back({at, advance(at)});
        break;
      case TokenKind::Gosub:  // an eleventh call goes on after its operands
        reads_.jumps.push_back({at, advance(at)});
        ends.push_back(advance(advance(advance(at))));
        break;
      case TokenKind::Return:  // without an active call, RETURN goes on
        ends.push_back(advance(at));
        break;
      default:  // END
        break;
    }
  }

  // [LET] v = expression, and the token after it.
  std::size_t let(std::size_t at, int depth) {
    return advance(expression(advance(advance(at)), depth));
  }

  std::size_t print(std::size_t at, int depth) {
    at = advance(at);
    while (true) {
      switch (kind(at)) {
        case TokenKind::String:
        case TokenKind::Comma:
        case TokenKind::Semicolon:
          at = advance(at);
          break;
        case TokenKind::Variable:
        case TokenKind::Number:
          at = expression(at, depth);
          break;
        default:
          return advance(at);
      }
      if (endsLine(at)) return advance(at);
    }
  }

  // FOR v = start TO limit, and the token after the limit.
  std::size_t forLoop(std::size_t at, int depth) {
    at = expression(advance(advance(advance(at))), depth);
    return advance(expression(advance(at), depth));
  }

  // IF relation THEN statement [ELSE statement], both ways.
  void ifOn(std::size_t at, int depth, Ends& ends) {
    at = advance(relation(advance(at), depth));
    trueBranch(at, depth, ends);
    falseBranch(at, depth, ends);
  }

  // A true IF runs its statement, then steps to its line's end when that line holds an ELSE
  // after the statement's start and the run is still on it.
  void trueBranch(std::size_t at, int depth, Ends& ends) {
    if (depth >= kNestingDepthMax) {
      ends.push_back(at);  // the statement is left for the run loop
      return;
    }
    std::size_t lineEnd = at;
    bool hasElse = false;
    for (; !endsLine(lineEnd); ++lineEnd)
      hasElse = hasElse || kind(lineEnd) == TokenKind::Else;
    Ends branchEnds;
    branch(at, depth, branchEnds);
    for (std::size_t end : branchEnds) {
      if (hasElse && end >= at && end < lineEnd) end = lineEnd;
      ends.push_back(end);
    }
  }

  // A false IF steps to its own ELSE and runs its statement, or goes on after the line-feed.
  void falseBranch(std::size_t at, int depth, Ends& ends) {
    std::size_t innerIfs = kind(at) == TokenKind::If ? 1 : 0;
    while (true) {
      at = advance(at);
      if (kind(at) == TokenKind::If) {
        ++innerIfs;
      } else if (kind(at) == TokenKind::Else) {
        if (innerIfs == 0) break;
        --innerIfs;
      } else if (endsLine(at)) {
        break;
      }
    }
    if (kind(at) == TokenKind::Else) {
      branch(advance(at), depth, ends);
    } else {
      ends.push_back(kind(at) == TokenKind::Newline ? advance(at) : at);
    }
  }

  // The statement after THEN or ELSE; too deep, it is left for the run loop.
  void branch(std::size_t at, int depth, Ends& ends) {
    if (depth >= kNestingDepthMax) {
      ends.push_back(at);
    } else if (kind(at) == TokenKind::If) {
      ifOn(at, depth + 1, ends);
    } else {
      executeStatement(at, depth + 1, ends);
    }
  }

  std::size_t relation(std::size_t at, int depth) {
    at = expression(at, depth);
    while (isRelational(kind(at)))
      at = expression(advance(at), depth);
    return at;
  }

  std::size_t expression(std::size_t at, int depth) {
    at = term(at, depth);
    while (isAdditive(kind(at)))
      at = term(advance(at), depth);
    return at;
  }

  std::size_t term(std::size_t at, int depth) {
    at = factor(at, depth);
    while (isMultiplicative(kind(at)))
      at = factor(advance(at), depth);
    return at;
  }

  std::size_t factor(std::size_t at, int depth) {
    if (kind(at) == TokenKind::Number) {
      if (reads_.valueReadBy[at] == kNoToken) reads_.valueReadBy[at] = statement_;
      return advance(at);
    }
    if (kind(at) == TokenKind::LeftParen && depth < kNestingDepthMax) {
      return advance(expression(advance(at), depth + 1));
    }
    return advance(at);
  }

  RunReads& reads_;
  const std::vector<TextToken>& tokens_;
  std::vector<bool> visited_;  // tokens the run loop has stood on
  std::size_t statement_ = 0;  // the statement the run loop started last
  std::size_t budget_;         // advances left before the walk gives up on the text
};

}  // namespace

RunReads readRuns(const char* text) {
  RunReads reads;
  reads.tokens = tokensOf(text);
  reads.valueReadBy.assign(reads.tokens.size(), kNoToken);
  Walk(reads).everywhere();
  return reads;
}

}  // namespace linebasic

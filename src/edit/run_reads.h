// What any run of a text reads of it, for edits that must leave every run as it was: the
// text's tokens as the scanner sees them from its top, the numbers that statements read as
// values, and the GOTOs and GOSUBs that may run. The walk follows the statement handlers token
// by token from every place a run can go on from (the top of the text and each line-feed),
// through both outcomes of every IF, so it sees at least what any run meets.
#pragma once

#include <cstddef>
#include <vector>

#include "scanner/tokens.h"

namespace linebasic {

// A token of the text, by its offsets from the text's start.
struct TextToken {
  std::size_t start;
  std::size_t end;  // just past it; at the end of the text, the same as start
  TokenKind kind;
};

// A GOTO or GOSUB that may run, by its tokens' indices.
struct JumpRead {
  std::size_t keyword;
  std::size_t target;  // the token whose text the run converts as the target
};

inline constexpr std::size_t kNoToken = ~std::size_t{0};

struct RunReads {
  std::vector<TextToken> tokens;         // from the top of the text; EndOfText is the last
  std::vector<std::size_t> valueReadBy;  // by token: the statement that reads it as a value
  std::vector<JumpRead> jumps;           // in the order the walk met them
  bool complete = true;                  // false: the walk gave up on too much work
  [[nodiscard]] bool startsLine(std::size_t token) const {
    return token == 0 || tokens[token - 1].kind == TokenKind::Newline;
  }
};

// What the runs of the NUL-terminated `text` read.
RunReads readRuns(const char* text);

}  // namespace linebasic

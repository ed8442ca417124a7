// Line numbers as a run meets them: for a trace of the lines a run reaches, and to say where
// a stopped run stood.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "interpreter/interpreter.h"

namespace linebasic {

// The line number that is the current token, when the current token is one: a Number with
// nothing but blanks between it and the start of its line.
std::optional<std::int32_t> lineNumberAt(const Interpreter& interpreter);

// The number of the line that holds the current token, when that line starts with one.
std::optional<std::int32_t> lineNumberOfLine(const Interpreter& interpreter);
// The number of the line of `text` that holds `at`, when that line starts with one.
std::optional<std::int32_t> lineNumberOfLine(const char* text, const char* at);

// Why a run of `text` ended, not at END, right after the statement that begins at `ending`:
// the checker's "no line is numbered 75" when that statement's line jumps to a line that is
// not there and the jump surely ran. A run may end after the last line whether a jump there
// ran or not (`if x then goto 75` may have found x 0), so on that line only a GOTO or GOSUB of
// its own counts. Empty otherwise.
std::string missedJump(const char* text, const char* ending);

}  // namespace linebasic

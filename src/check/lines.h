// Line numbers as a run meets them: for a trace of the lines a run reaches, and to say where
// a stopped run stood.
#pragma once

#include <cstdint>
#include <optional>

#include "interpreter/interpreter.h"

namespace linebasic {

// The line number that is the current token, when the current token is one: a Number with
// nothing but blanks between it and the start of its line.
std::optional<std::int32_t> lineNumberAt(const Interpreter& interpreter);

// The number of the line that holds the current token, when that line starts with one.
std::optional<std::int32_t> lineNumberOfLine(const Interpreter& interpreter);

}  // namespace linebasic

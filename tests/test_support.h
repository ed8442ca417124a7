// Helpers shared by the interpreter's tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "interpreter/interpreter.h"

namespace linebasic::testing {

// Runs `interpreter` until it is done or `maxSteps` statements have run; returns the steps.
inline long runSteps(Interpreter& interpreter, long maxSteps) {
  long steps = 0;
  while (!interpreter.isDone() && steps < maxSteps) {
    interpreter.executeStatement();
    ++steps;
  }
  return steps;
}

// Loads `text` into a fresh interpreter, runs it and returns what it wrote to standard output.
inline std::string runProgram(const std::string& text, long maxSteps = 1'000'000) {
  Interpreter interpreter;
  interpreter.load(text.c_str());
  ::testing::internal::CaptureStdout();
  runSteps(interpreter, maxSteps);
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

// The tokens of `text`: the first as load scans it, then one per advance, up to
// and including EndOfText. Each token is written as its kind's name and, but for EndOfText,
// its text in brackets: "Variable[x]".
std::vector<std::string> scanTokens(const std::string& text);

// A program text and the exact standard output it must produce.
struct ProgramCase {
  std::string text;
  std::string output;
};

void PrintTo(const ProgramCase& programCase, std::ostream* os);

// Runs each ProgramCase it is instantiated with and compares the output.
class ProgramTest : public ::testing::TestWithParam<ProgramCase> {};

// The name of a token kind, as the enumeration spells it.
std::string kindName(TokenKind kind);

}  // namespace linebasic::testing

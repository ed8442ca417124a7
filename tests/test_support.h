// Helpers shared by the tests: run a text and capture what it prints; a folder of one's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "interpreter/interpreter.h"

namespace linebasic::testing {

// Runs `interpreter` until it is done or `maxSteps` statements have run.
inline void runSteps(Interpreter& interpreter, long maxSteps) {
  for (long step = 0; step < maxSteps && !interpreter.isDone(); ++step)
    interpreter.executeStatement();
}

// Loads `text` into a fresh interpreter, runs it and returns what it wrote to standard output.
inline std::string runProgram(const std::string& text, long maxSteps = 100'000) {
  Interpreter interpreter;
  interpreter.load(text.c_str());
  ::testing::internal::CaptureStdout();
  runSteps(interpreter, maxSteps);
  std::fflush(stdout);
  return ::testing::internal::GetCapturedStdout();
}

inline std::string readFile(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

inline std::string repeat(const std::string& text, int times) {
  std::string repeated;
  for (int i = 0; i < times; ++i)
    repeated += text;
  return repeated;
}

// A new folder of its own in the temporary folder, removed with all it holds, so that suites
// run at once never share a file.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "linebasic-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return path_; }
  [[nodiscard]] std::string operator/(const std::string& name) const {
    return (path_ / name).string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace linebasic::testing

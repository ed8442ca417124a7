// End-to-end: the built linebasic executable, its output and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

struct ProcessResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ProcessResult runExecutable(const std::string& arguments) {
  const auto dir = std::filesystem::temp_directory_path();
  const auto outPath = dir / ("linebasic_out_" + std::to_string(::getpid()));
  const auto errPath = dir / ("linebasic_err_" + std::to_string(::getpid()));
  const std::string command = std::string("'") + LINEBASIC_EXECUTABLE + "' " + arguments + " >'" +
                              outPath.string() + "' 2>'" + errPath.string() + "' </dev/null";
  ProcessResult run;
  const int status = std::system(command.c_str());
  if (status != -1 && WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
  run.out = readFile(outPath);
  run.err = readFile(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return run;
}

const std::string kDemoOutput = "subroutine\n1\n3\n6\n10\n15\n21\n28\n36\n45\n55\nend\n";

TEST(ExecutableTest, RunsTheDemoAndExitsZero) {
  const ProcessResult run = runExecutable("");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, kDemoOutput);
  EXPECT_EQ(run.err, "");
}

TEST(ExecutableTest, IgnoresItsArguments) {
  const ProcessResult run = runExecutable("--help extra 'words here'");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, kDemoOutput);
  EXPECT_EQ(run.err, "");
}

}  // namespace

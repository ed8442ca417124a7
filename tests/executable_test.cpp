// End-to-end: the built executables, their output, error messages and exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

struct Outcome {
  int status;  // the exit status, or -1 when the process did not exit
  std::string out;
  std::string err;
};

// Runs a shell command line, its standard output and standard error caught in files.
Outcome run(const std::string& command) {
  const auto out = std::filesystem::temp_directory_path() / "linebasic_test_out";
  const auto err = std::filesystem::temp_directory_path() / "linebasic_test_err";
  const int status =
      std::system((command + " >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

const std::string kDemo = std::string("'") + LINEBASIC_EXECUTABLE + "'";
const std::string kRun = std::string("'") + LINEBASIC_RUN_EXECUTABLE + "'";
const std::string kUsage = "usage: linebasic-run [--max-steps N] FILE\n";

TEST(ExecutableTest, ExitsWithItsOutputAndMessages) {
  const std::vector<std::pair<std::string, Outcome>> cases = {
      {kDemo + " --help 'x y' </dev/null",
       {0, "subroutine\n1\n3\n6\n10\n15\n21\n28\n36\n45\n55\nend\n", ""}},
      {"printf '10 print 1\\r\\n20 end\\r\\n30 print 2\\r\\n' | " + kRun + " -", {0, "1\n", ""}},
      {"printf 'print 1\\n\\0print 2' | " + kRun + " -", {0, "1\n", ""}},
      {"echo '10 print 1' | " + kRun + " --max-steps 3 -", {0, "1\n", ""}},
      {"echo '10 print 1\n20 goto 10' | " + kRun + " --max-steps 5 -",
       {3, "1\n", "linebasic-run: stopped after 5 statements\n"}},
      {kRun + " /no/such.bas", {1, "", "linebasic-run: /no/such.bas: No such file or directory\n"}},
      {kRun + " /", {1, "", "linebasic-run: /: Is a directory\n"}},
      {kRun, {2, "", kUsage}},
      {kRun + " --max-steps 5x -", {2, "", kUsage}},
      {kRun + " --quiet -", {2, "", kUsage}},
      {kRun + " a.bas b.bas", {2, "", kUsage}}};
  for (const auto& [command, expected] : cases) {
    const Outcome actual = run(command);
    EXPECT_EQ(actual.status, expected.status) << command;
    EXPECT_EQ(actual.out, expected.out) << command;
    EXPECT_EQ(actual.err, expected.err) << command;
  }
}

// Each sample program NAME.bas under tests/programs prints exactly NAME.out.
TEST(ExecutableTest, RunsTheSamplePrograms) {
  for (const auto& entry : std::filesystem::directory_iterator(LINEBASIC_PROGRAMS_DIR)) {
    if (entry.path().extension() != ".bas") continue;
    const Outcome actual = run(kRun + " '" + entry.path().string() + "'");
    EXPECT_EQ(actual.out, readFile(std::filesystem::path(entry.path()).replace_extension(".out")));
    EXPECT_EQ(actual.status, 0) << entry.path();
  }
  // Any bytes are a program: the executable itself runs without a crash.
  EXPECT_NE(run(kRun + " --max-steps 100000 " + kRun).status, -1);
}

}  // namespace

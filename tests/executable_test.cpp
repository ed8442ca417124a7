// End-to-end: the built linebasic executable, its output and its exit status.
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

// Runs the demo with arguments, which it ignores: exactly the demo's output, nothing on
// standard error, exit status 0.
TEST(ExecutableTest, RunsTheDemo) {
  const auto out = std::filesystem::temp_directory_path() / "linebasic_test_out";
  const auto err = std::filesystem::temp_directory_path() / "linebasic_test_err";
  const std::string command = std::string("'") + LINEBASIC_EXECUTABLE + "' --help 'x y' >'" +
                              out.string() + "' 2>'" + err.string() + "' </dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(out), "subroutine\n1\n3\n6\n10\n15\n21\n28\n36\n45\n55\nend\n");
  EXPECT_EQ(readFile(err), "");
}

}  // namespace

// The interactive session, driven line by line with no terminal: typed lines in, the exact
// transcript out ("> " and the typed line, then what the session and the program wrote).
#include "session/session.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "test_support.h"

namespace linebasic {
namespace {

using testing::readFile;

// Warnings are shown by position and name only: their messages are the checker's to test.
std::string transcript(const std::string& typed, unsigned long long maxSteps = 10'000) {
  Session session(maxSteps);
  std::string shown;
  std::istringstream lines(typed);
  for (std::string line; std::getline(lines, line);) {
    ::testing::internal::CaptureStdout();
    const bool goOn = session.handleLine(line);
    std::fflush(stdout);
    shown += "> " + line + "\n" + ::testing::internal::GetCapturedStdout();
    if (!goOn) return shown + "(bye)\n";
  }
  return std::regex_replace(shown, std::regex("warning: .*? \\["), "warning: [");
}

TEST(SessionTest, AnswersEachTypedLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Stored in number order, replaced, deleted, listed whole or in part.
      {"20 print 2\n10 print 1\n  9999   print 3  \nlist\n20 print 22\n9999\nlist 10-20\nlist 20\n"
       "list -10\nlist 5-x",
       "> 20 print 2\n> 10 print 1\n>   9999   print 3  \n> list\n10 print 1\n20 print 2\n"
       "9999   print 3  \n> 20 print 22\n> 9999\n> list 10-20\n10 print 1\n20 print 22\n> list 20\n"
       "20 print 22\n> list -10\n10 print 1\n> list 5-x\nlist: type 'list', 'list N' or "
       "'list N-M'\n"},
      // A run starts with every variable 0; immediate lines keep them, and jump into the program.
      {"10 x = x + 1\n20 print x\nrun\nrun\nprint x * 2\nx = 5\ngoto 20\ngosub 20\nprint 2+3",
       "> 10 x = x + 1\n> 20 print x\n> run\n1\n> run\n1\n> print x * 2\n2\n> x = 5\n"
       "> goto 20\n5\n> gosub 20\n5\n> print 2+3\n5\n"},
      // Warnings under the line: a stored line's by its number, an immediate line's as line 1.
      // A jump to a line not typed yet waits for `check`.
      {"10 PRINT \"HI\"\n20 goto 99\nprint -1\ncheck\n10 end\n20\ncheck",
       "> 10 PRINT \"HI\"\n10:4: warning: [keyword-case]\n> 20 goto 99\n> print -1\n"
       "1:7: warning: [unary-sign]\n\n> check\n10:4: warning: [keyword-case]\n"
       "20:9: warning: [missing-line]\n> 10 end\n> 20\n> check\nno warnings\n"},
      // Unsaved changes: new and bye act when typed twice in a row.
      {"10 end\nnew\nlist\nnew\nnew\nlist\nbye",
       "> 10 end\n> new\nthe program has changes that are not saved: type 'new' again to go on "
       "without saving them, or 'save FILE'\n> list\n10 end\n> new\n"
       "the program has changes that are not saved: type 'new' again to go on without saving "
       "them, or 'save FILE'\n> new\n> list\n> bye\n(bye)\n"},
      {"10 end\nbye\nbye",
       "> 10 end\n> bye\nthe program has changes that are not saved: type "
       "'bye' again to leave without saving them, or 'save FILE'\n> bye\n(bye)\n"},
      // A run with nothing to run says so; "quit" and "exit" leave as "bye" does, and count as it
      // when repeated.
      {"run\nquit",
       "> run\nthere is no program yet: type numbered lines, such as 10 print "
       "\"hello\"\n> quit\n(bye)\n"},
      {"10 end\nexit\nquit",
       "> 10 end\n> exit\nthe program has changes that are not saved: "
       "type 'exit' again to leave without saving them, or 'save FILE'\n"
       "> quit\n(bye)\n"},
      {"RUN\n12345 print\nload\nsave\n\n10 goto 10\nrun\nprint 7",
       "> RUN\ncommands are lower case: type 'run'\n> 12345 print\nline numbers have at most "
       "four digits: 0 to 9999\n> load\nload: which file? type 'load FILE'\n> save\n"
       "save: which file? type 'save FILE'\n> \n> 10 goto 10\n> run\nlinebasic-run: stopped "
       "after 10000 statements\n> print 7\n7\n"},
      // A run that jumps from an immediate line into the program ends where the program ends,
      // even when a broken last line reads on past its end; the immediate line is checked alone.
      {"10 x = 5 +\ngoto 10\nprint x -\ngoto 20",
       "> 10 x = 5 +\n10:11: warning: [missing-operand]\n> goto 10\n> print x -\n"
       "1:10: warning: [missing-operand]\n5\n> goto 20\n1:6: warning: [missing-line]\n"},
      // A literal the program leaves open ends with the program: the immediate line still runs.
      {"10 print \"abc\nprint 1\nrun",
       "> 10 print \"abc\n10:10: warning: [unclosed-literal]\n> print 1\n1\n> run\nabc\n\n"}};
  for (const auto& [typed, shown] : cases)
    EXPECT_EQ(transcript(typed), shown) << typed;
}

// Saving and loading: the file holds what `list` shows; nothing typed is lost when a file
// cannot be written or read.
TEST(SessionTest, SavesAndLoadsWithoutLosingAnything) {
  const auto directory = std::filesystem::temp_directory_path() / "linebasic_session_test";
  std::filesystem::remove_all(directory);
  std::filesystem::create_directories(directory / "dir");
  const std::string file = (directory / "a.bas").string();
  std::ofstream(directory / "crlf.bas", std::ios::binary) << "20 print 2\r\n\r\n10 print 1\r\n";
  std::ofstream(directory / "bare.bas", std::ios::binary) << "10 print 1\nprint 2\n";
  std::ofstream(directory / "twice.bas", std::ios::binary) << "10 print 1\n10 print 2\n";
  const std::string dir = (directory / "dir").string();
  const std::string at = directory.string() + "/";

  EXPECT_EQ(transcript("10 print  1\nsave " + dir + "\nsave " + file + "\nnew\nload " + at +
                       "crlf.bas\nlist\nload " + at + "bare.bas\nload " + at + "twice.bas\nload " +
                       at + "none.bas\nlist"),
            "> 10 print  1\n> save " + dir + "\nsave: " + dir +
                ": Is a directory; the program is kept, and the file is as it was\n> save " + file +
                "\nsaved 1 line to " + file + "\n> new\n> load " + at +
                "crlf.bas\nloaded 2 lines from " + at +
                "crlf.bas\n> list\n10 print 1\n"
                "20 print 2\n> load " +
                at + "bare.bas\nload: " + at +
                "bare.bas:2: the line has no number, and the session keeps numbered lines only; "
                "nothing was loaded\n> load " +
                at + "twice.bas\nload: " + at +
                "twice.bas:2: line number 10 is used already on line 1; nothing was loaded\n"
                "> load " +
                at + "none.bas\nload: " + at +
                "none.bas: No such file or "
                "directory\n> list\n10 print 1\n20 print 2\n");
  EXPECT_EQ(readFile(file), "10 print  1\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory),
                          std::filesystem::directory_iterator()),
            5);  // no temporary file left behind

  // A write that fails halfway (here: past the file size limit) leaves the old file whole.
  Session session;
  const std::string line = "10 print " + std::string(300, '1');
  ::testing::internal::CaptureStdout();
  session.handleLine(line);
  ::testing::internal::GetCapturedStdout();
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 200;  // room for the captured answer, not for the program
  setrlimit(RLIMIT_FSIZE, &small);
  ::testing::internal::CaptureStdout();
  session.handleLine("save " + file);
  std::fflush(stdout);
  const std::string shown = ::testing::internal::GetCapturedStdout();
  setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(shown,
            "save: " + file + ": File too large; the program is kept, and the file is as it was\n");
  EXPECT_EQ(session.programText(), line + "\n");
  EXPECT_EQ(readFile(file), "10 print  1\n");
  std::filesystem::remove_all(directory);
}

}  // namespace
}  // namespace linebasic

// End-to-end: the built executables, their output, error messages and exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "session/session.h"
#include "test_support.h"

namespace {

using linebasic::testing::readFile;
using linebasic::testing::ScratchFolder;

// Runs a shell command line in a folder of its own; returns its exit status (-1 when it did not
// exit), standard output and standard error, each followed by "|".
std::string run(const std::string& command) {
  const ScratchFolder folder;
  const int status =
      std::system(("cd '" + folder.path().string() + "' && " + command + " >out 2>err").c_str());
  return std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "|" +
         readFile(folder / "out") + "|" + readFile(folder / "err") + "|";
}

const std::string kDemo = std::string("'") + LINEBASIC_EXECUTABLE + "'";
const std::string kRun = std::string("'") + LINEBASIC_RUN_EXECUTABLE + "'";
const std::string kUsage =
    "usage: linebasic-run [--max-steps N] [--trace] FILE\n"
    "       linebasic-run --check [--fixits] FILE\n       linebasic-run --fix [--write] FILE\n"
    "       linebasic-run --renumber[=START[,STEP]] [--write] FILE\n"
    "       linebasic-run [--max-steps N] [-i [FILE]]\n";

TEST(ExecutableTest, ExitsWithItsOutputAndMessages) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {kDemo + " --help 'x y' </dev/null",
       "0|subroutine\n1\n3\n6\n10\n15\n21\n28\n36\n45\n55\nend\n||"},
      {R"(printf '10 print 1\r\n20 end\r\n30 print 2\r\n' | )" + kRun + " -", "0|1\n||"},
      {"printf 'print 1\\n\\0print 2' | " + kRun + " -", "0|1\n||"},
      {"echo '10 print 1\n20 goto 10' | " + kRun + " --max-steps 5 -",
       "3|1\n|linebasic-run: stopped after 5 statements at line 10\n|"},
      {kRun + " /no/such.bas", "1||linebasic-run: /no/such.bas: No such file or directory\n|"},
      {kRun + " /", "1||linebasic-run: /: Is a directory\n|"},
      {kRun + " --check /dev/zero",  // endless: read only so far
       "1||linebasic-run: /dev/zero: is larger than 16 MiB, which no program needs\n|"},
      {kRun + " </dev/null",
       "2||linebasic-run: no FILE, and standard input is not a terminal to hold a session on: "
       "give\nFILE, '-' to run the program on standard input, or -i to read session lines from "
       "it\n" +
           kUsage + "|"},
      {kRun + " --version", "0|linebasic-run " LINEBASIC_VERSION "\n||"},
      {kRun + " --max-steps 5x -",
       "2||linebasic-run: --max-steps needs a count of statements, such as --max-steps 1000\n" +
           kUsage + "|"},
      {kRun + " --max-steps 0 -",
       "2||linebasic-run: --max-steps needs a count of at least 1: a run of 0 statements does "
       "nothing\n" +
           kUsage + "|"},
      {kRun + " --max-steps 18446744073709551616 -",
       "2||linebasic-run: --max-steps takes a count up to 18446744073709551615\n" + kUsage + "|"},
      {kRun + " --quiet a.bas", "2||linebasic-run: unknown option '--quiet'\n" + kUsage + "|"},
      {kRun + " a.bas b.bas",
       "2||linebasic-run: one FILE only, not 'a.bas' and 'b.bas'\n" + kUsage + "|"},
      // A check prints none of the program's output: warnings on standard output, status 4
      // when there are any.
      {R"(printf '10 print 1\r\n20 goto 75\n' | )" + kRun + " --check -",
       "4|<stdin>:2:9: warning: no line is numbered 75: the run ends here; add a line 75, or jump "
       "to one that is there, such as line 10 [missing-line]\n|1 warning generated.\n|"},
      {"printf '10 print 1\\r\\n' | " + kRun + " --check -", "0|||"},
      {"printf '10 print\\n10 end\\n' | " + kRun + " --check -",
       "4|<stdin>:2:1: warning: line number 10 is used already on text line 1: jumps reach only "
       "that one, and both run where they stand; give this line a number of its own "
       "[duplicate-line]\n|1 warning generated.\n|"},
      {kRun + " --check /no/such.bas",
       "1||linebasic-run: /no/such.bas: No such file or directory\n|"},
      {kRun + " --check --trace -",
       "2||linebasic-run: --check runs nothing: it takes no --trace or --max-steps\n" + kUsage +
           "|"},
      // Fixes and renumbering: the program on standard output, or in place with --write.
      {"printf '10 PRINT \"\\\\\"\\n' | " + kRun + " --check --fixits -",
       "4|<stdin>:1:4: warning: keywords are lower case: the run skips 'PRINT'; write 'print' "
       "[keyword-case]\nfix-it:\"<stdin>\":{1:4-1:9}:\"print\"\n|1 warning generated.\n|"},
      {"printf '10 x = -3\\n' | " + kRun + " --fix -",
       "0|10 x = 0 - 3\n|<stdin>:1:8: note: wrote '0 - 3' over 2 bytes [unary-sign]\n"
       "<stdin>: 1 fix\n|"},
      {"{ printf '5 goto 7\\n7 end\\n' >p.bas && " + kRun +
           " --renumber=100,5 --write p.bas && cat p.bas; }",
       "0|100 goto 105\n105 end\n|p.bas: renumbered 2 lines, 1 jump target\n|"},
      {"{ printf '5 goto 8\\n7 end\\n' >p.bas; " + kRun +
           " --renumber --write p.bas; s=$?; cat p.bas; exit $s; }",
       "1|5 goto 8\n7 end\n|p.bas:1:8: error: no line is numbered 8: the run ends at this GOTO, "
       "and renumbering would keep a number no line has or give it to a line; write the number "
       "of a line that is there\n|"},
      // Past the limit on file size, a file rewritten in place (it has another name) keeps its
      // old text, and the process lives to say so.
      {"{ printf '10 PRINT 1\n%.0s' $(seq 700) >p.bas && cp p.bas old && ln p.bas q.bas && ( "
       "ulimit -f 4; " +
           kRun + " --fix --write p.bas 2>&1 | tail -1 ); cmp p.bas old && wc -c <q.bas; }",
       "0|linebasic-run: p.bas: File too large: not rewritten\n7700\n||"},
      {kRun + " --renumber=10,0 p.bas",
       "2||linebasic-run: --renumber's STEP is a number from 1 to 9999, not '0' (such as "
       "--renumber=100,10)\n" +
           kUsage + "|"},
      // A session through a pipe: the end of the input, or bye, ends it without asking about
      // unsaved changes. Errors go to standard error, with the script's line, and make the
      // status 1.
      {"printf '20 print 2\\nrun' | " + kRun + " --max-steps 9 -i /dev/null",
       "1|2\n|load: /dev/null: is a device, not a file; nothing was loaded\n|"},
      {"printf 'x = 1 : y = 2 3\\n10 Hello\\n' | " + kRun + " -i",
       "0||<stdin>:1:15: warning: the assignment ends before '3': the run steps over it and runs "
       "what follows as statements of their own [rest-of-line]\n<stdin>:2:4: "
       "warning: 'Hello' is no statement: the run skips it; the statements are let, print, if, "
       "for, next, goto, gosub, return and end [stray-token]\n|"},
      {kRun + " --version x", "2||linebasic-run: --version stands alone\n" + kUsage + "|"},
      // A FILE not there yet is a new program's, which `save` writes.
      {R"({ printf '10 print 1\nsave\nrun\n' | )" + kRun + " -i new.bas && cat new.bas; }",
       "0|new.bas is a new file: 'save' writes it\nsaved 1 line to new.bas\n1\n10 print 1\n||"},
      // SIGINT ends a script, as a shell's, with status 130.
      {R"({ printf 'print 1\n10 goto 10\nrun\nprint 5\n' | )" + kRun +
           " -i >out & until [ -s out ]; do sleep 0.1; done; sleep 0.3; kill -INT $!; wait $!; }",
       "130|1\n|<stdin>:3: stopped at line 10; SIGINT ends the script\n|"},
      // A script's CR-LF line ends are LF, for commands, program lines and file names alike.
      {R"({ printf '10 print 2\r\nrun\r\nlist\r\nsave crs.bas\r\n' | )" + kRun +
           " -i && cat crs.bas; }",
       "0|2\n10 print 2\nsaved 1 line to crs.bas\n10 print 2\n||"},
      {R"(printf '10 goto 10\nrun\nsave .\nbye\n' | )" + kRun + " --max-steps 9 -i",
       "1||<stdin>:2: stopped after 9 statements at line 10 (--max-steps)\n<stdin>:3: save: .: is "
       "a directory, not a file; the program is still in the session, and nothing was written\n|"},
      // The trace: each numbered line the run reaches, on standard error.
      {R"(printf '10 gosub 30\n20 end\n30 print 3\n  40 return\n' | )" + kRun + " --trace -",
       "0|3\n|[10][30][40][20]\n|"},
      {"echo '10 goto 10' | " + kRun + " --trace --max-steps 4 -",
       "3||[10][10]\nlinebasic-run: stopped after 4 statements at line 10\n|"}};
  for (const auto& [command, expected] : cases)
    EXPECT_EQ(run(command), expected) << command;
  EXPECT_EQ(run(kRun + " --help").substr(0, 25), "0|usage: linebasic-run [-");
}

}  // namespace

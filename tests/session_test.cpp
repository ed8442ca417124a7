// The interactive session, driven line by line with no terminal: typed lines in, the exact
// transcript out ("> " and the typed line, then what the session and the program wrote).
#include "session/session.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>

#include "test_support.h"

namespace linebasic {
namespace {

using testing::readFile;
using testing::ScratchFolder;

// A session that writes everything, its errors too, into `written`.
struct Typed {
  explicit Typed(SessionSettings settings = {.maxSteps = 10'000}) : session(into(settings)) {}
  SessionSettings into(SessionSettings settings) {
    settings.output = settings.errors = {[](void* context, std::string_view text) {
                                           static_cast<std::string*>(context)->append(text);
                                         },
                                         &written};
    return settings;
  }
  std::string written;
  Session session;
};

// Warnings are shown by position and name only: their messages are the checker's to test.
std::string transcript(Typed& typed, const std::string& lines) {
  std::string shown;
  std::istringstream input(lines);
  for (std::string line; std::getline(input, line);) {
    typed.written.clear();
    const bool goOn = typed.session.handleLine(line);
    shown += "> " + line + "\n" + typed.written;
    if (!goOn) return shown + "(bye)\n";
  }
  return std::regex_replace(shown, std::regex("warning: .*? \\["), "warning: [");
}
std::string transcript(const std::string& lines) {
  Typed typed;
  return transcript(typed, lines);
}

TEST(SessionTest, AnswersEachTypedLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Stored in number order, replaced, deleted, listed whole or in part.
      {"20 print 2\n10 print 1\n  9999   print 3  \nlist\n20 print 22\n9999\nlist 10-20\nlist 20\n"
       "list -10\nlist 9-5\nlist 25\nlist 30-40",
       "> 20 print 2\n> 10 print 1\n>   9999   print 3  \n> list\n10 print 1\n20 print 2\n"
       "9999   print 3  \n> 20 print 22\n> 9999\n> list 10-20\n10 print 1\n20 print 22\n> list 20\n"
       "20 print 22\n> list -10\n10 print 1\n> list 9-5\nlist: type 'list', 'list N' or 'list N-M' "
       "(N not above M)\n> list 25\nno line 25\n> list 30-40\nno "
       "lines from 30 to 40\n"},
      // A run starts with every variable 0; immediate lines keep them, and jump into the program.
      {"10 x = x + 1\n20 print x\nrun\nrun\nprint x * 2\nx = 5\ngoto 20\ngosub 20\nprint 2+3",
       "> 10 x = x + 1\n> 20 print x\n> run\n1\n> run\n1\n> print x * 2\n2\n> x = 5\n"
       "> goto 20\n5\n> gosub 20\n5\n> print 2+3\n5\n"},
      // run N starts at line N with every variable 0.
      {"10 x = 7\n20 print x\nrun 20\nrun 15\nrun x\nrun\nrun 20",
       "> 10 x = 7\n> 20 print x\n> run 20\n0\n> run 15\nno line 15\n> run x\nrun: type 'run', "
       "or 'run N' to start at line N\n> run\n7\n> run 20\n0\n"},
      // Warnings under the line: a stored line's by its number, an immediate line's as line 1.
      // A jump to a line not typed yet waits for `check`.
      {"10 PRINT \"HI\"\n20 goto 99\nprint -1\ncheck\n10 end\n20\ncheck",
       "> 10 PRINT \"HI\"\n10:4: warning: [keyword-case]\n> 20 goto 99\n> print -1\n"
       "column 7: warning: [unary-sign]\n\n> check\n10:4: warning: [keyword-case]\n"
       "20:9: warning: [missing-line]\n> 10 end\n> 20\n> check\nno warnings\n"},
      // A first word of several letters that is no keyword and no command does not run; the
      // checker's warning about it is shown when it has one.
      {"ls\nclear x\nPRINT 5\ngosub100\nx = 3\nab = 4\nprint a; x",
       "> ls\nunknown command 'ls': 'help' lists them\n> clear x\nunknown command 'clear': 'help' "
       "lists them\n> PRINT 5\ncolumn 1: warning: [keyword-case]\n> gosub100\ncolumn 1: warning: "
       "[keyword-glued]\n> x = 3\n> ab = 4\nunknown command 'ab': 'help' lists them\n"
       "> print a; x\n03\n"},
      // Extra words are an error; commands are lower case.
      {"10 end\nnew please\ncheck 10\nhelp me\nbye now\nBREAK\nlist\n12345 print",
       "> 10 end\n> new please\n'new' takes no argument\n> check 10\n'check' takes no argument\n"
       "> help me\n'help' takes no argument\n> bye now\n'bye' takes no argument\n> BREAK\n"
       "commands are lower case: type 'break'\n> list\n10 end\n> 12345 print\nline numbers have at "
       "most four digits: 0 to 9999\n"},
      // delete N and delete N-M; edit N, with no reader to put the line at the prompt, shows it.
      {"10 end\n20 end\n30 end\ndelete 20\ndelete 20\ndelete 5-25\ndelete\nlist\nedit 30\nedit 10",
       "> 10 end\n> 20 end\n> 30 end\n> delete 20\ndeleted 1 line\n> delete 20\nno line 20\n"
       "> delete 5-25\ndeleted 1 line\n> delete\ndelete: type 'delete N' or 'delete N-M' (N not "
       "above M)\n"
       "> list\n30 end\n> edit 30\n30 end\n> edit 10\nno line 10\n"},
      // renum and fix: breakpoints follow their lines, a refusal changes nothing, and the
      // program is changed.
      {"10 gosub 30\n20 PRINT 1\n30 return\nbreak 30\nrenum 100 5\nbreak\nfix\nlist\nrenum 1 0\n"
       "25 goto x\nrenum\nbye",
       "> 10 gosub 30\n> 20 PRINT 1\n20:4: warning: [keyword-case]\n> 30 return\n> break 30\n"
       "a run stops before line 30 runs\n> renum 100 5\nrenumbered 3 lines, 1 jump target\n"
       "> break\na breakpoint at line 110\n> fix\n105:5: wrote 'print' over 5 bytes "
       "[keyword-case]\nfixed 1 warning\n> list\n100 gosub 110\n105 print 1\n110 return\n"
       "> renum 1 0\nrenum: type 'renum', 'renum START' or 'renum START STEP' (1 to 9999)\n"
       "> 25 goto x\n25:9: warning: [jump-target]\n> renum\nrenum: 25:9: GOTO needs one line "
       "number, not 'x': the run reads 0 from the text there, which renumbering cannot follow; "
       "write the number of the line meant; nothing was renumbered\n> bye\nthe program has "
       "changes that are not saved: type 'bye' again to leave without saving them, or 'save "
       "FILE'\n"},
      // Unsaved changes: new and bye act when typed twice in a row.
      {"10 end\nnew\nlist\nnew\nnew\nlist\nbye",
       "> 10 end\n> new\nthe program has changes that are not saved: type 'new' again to go on "
       "without saving them, or 'save FILE'\n> list\n10 end\n> new\n"
       "the program has changes that are not saved: type 'new' again to go on without saving "
       "them, or 'save FILE'\n> new\nforgot 1 line and every variable: the program is empty\n"
       "> list\nthe program is empty\n> bye\n(bye)\n"},
      // "quit" and "exit" leave as "bye" does, and count as it when repeated.
      {"run\nquit",
       "> run\nthere is no program yet: type numbered lines, such as 10 print "
       "\"hello\"\n> quit\n(bye)\n"},
      {"10 end\nexit\nquit",
       "> 10 end\n> exit\nthe program has changes that are not saved: "
       "type 'exit' again to leave without saving them, or 'save FILE'\n"
       "> quit\n(bye)\n"},
      // The bound names the line where it stopped the run.
      {"load\nsave\n\n10 goto 10\nrun\nprint 7",
       "> load\nload: which file? type 'load FILE'\n> save\nsave: which file? type 'save FILE'\n"
       "> \n> 10 goto 10\n> run\nstopped after 10000 statements at line 10 (--max-steps)\n"
       "> print 7\n7\n"},
      // A run that jumps from an immediate line into the program ends where the program ends,
      // even when a broken last line reads on past its end; the immediate line is checked alone.
      {"10 x = 5 +\ngoto 10\nprint x -\ngoto 20",
       "> 10 x = 5 +\n10:11: warning: [missing-operand]\n> goto 10\n> print x -\n"
       "column 10: warning: [missing-operand]\n5\n> goto 20\ncolumn 6: warning: [missing-line]\n"},
      // Text is kept as typed.
      {"10 print \"h\xC3\xA9llo\"\nrun", "> 10 print \"h\xC3\xA9llo\"\n> run\nh\xC3\xA9llo\n"},
      // A literal the program leaves open ends with the program: the immediate line still runs.
      {"10 print \"abc\nprint 1\nrun",
       "> 10 print \"abc\n10:10: warning: [unclosed-literal]\n> print 1\n1\n> run\nabc\n\n"}};
  for (const auto& [typed, shown] : cases)
    EXPECT_EQ(transcript(typed), shown) << typed;
}

// A run stops at breakpoints, steps line by line and goes on; while it is stopped, immediate
// lines share its variables and `list` marks its line; editing ends it.
TEST(SessionTest, StopsStepsAndGoesOn) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // A condition the checker finds fault with is refused; over, out, the stack, a watch
      // forward and back.
      {"10 x = 0\n20 for i = 1 to 4\n30 gosub 100\n40 next i\n50 print x\n100 x = x + i\n110 gosub "
       "200\n120 return\n200 y = y + 1\n210 return\nbreak 100 if i >= 3\nbreak 100 if i = 3\nrun\n"
       "stack\nover\nover\nout\nunbreak\nwatch y\ncont\nrcont\nunwatch\nout",
       "> 10 x = 0\n> 20 for i = 1 to 4\n> 30 gosub 100\n> 40 next i\n> 50 print x\n> 100 x = x "
       "+ i\n> 110 gosub 200\n> 120 return\n> 200 y = y + 1\n> 210 return\n> break 100 if i >= "
       "3\nbreak: the condition there is no '>=' operator: the run reads its '=' as 0; for 'i >= "
       "3' write 'i > 3 - 1'\n> break 100 if i = 3\na run stops before line 100 runs when i = 3 "
       "is not 0\n> run\nbreak at [100] x = x + i\n> stack\ngosub: returns to line 40\nfor i to "
       "4: goes back to line 30\n> over\n[100] x = x + i\nx = 6\nnow before [110] gosub 200\n> "
       "over\n[110] gosub 200\ny = 3\nnow before [120] return\n> out\n[120] return\nnow before "
       "[40] next i\n> unbreak\ncleared 1 breakpoint\n> watch y\na run stops when y "
       "changes\n> cont\nwatch: y went from 3 to 4 at line 200; the run stands before [210] "
       "return\n> rcont\nback at a watch, before [210] return runs\ni = 3 (was 4)  x = 6 (was "
       "10)  y = 3 (was 4)\nwatch: y went from 2 to 3 at line 200\n> unwatch\ncleared every "
       "watch\n> out\n[210] return\nnow before [120] return\n"},
      // A breakpoint's condition follows its line when the lines are renumbered.
      {"10 for i = 1 to 8\n20 print i\n30 next i\nbreak 20 if i > 5\nrenum 100 100\nbreak",
       "> 10 for i = 1 to 8\n> 20 print i\n> 30 next i\n> break 20 if i > 5\na run stops before "
       "line 20 runs when i > 5 is not 0\n> renum 100 100\nrenumbered 3 lines, 0 jump targets\n> "
       "break\na breakpoint at line 200 (if i > 5)\n"},
      // Back in time: an immediate line's change is part of the run's past, and replays.
      {"10 x = 0\n20 for i = 1 to 3\n30 x = x + i\n40 next i\n50 print x\nbreak 40\nrun\nx = 10\n"
       "cont\nback 2\nunbreak\ncont\nback\nrcont\nback",
       "> 10 x = 0\n> 20 for i = 1 to 3\n> 30 x = x + i\n> 40 next i\n> 50 print x\n> break 40\n"
       "a run stops before line 40 runs\n> run\nbreak at [40] next i\n> x = 10\n> cont\nbreak at "
       "[40] next i\n> back 2\nback 2 lines, before [40] next i runs\ni = 1 (was 2)  x = 10 (was "
       "12)\n> unbreak\ncleared 1 breakpoint\n> cont\n15\n> back\nback 1 line, before [50] print x "
       "runs\nthe line printed since stays above, and prints again as the run goes on\n> rcont\n"
       "back at the start of the run, before [10] x = 0 runs\ni = 0 (was 4)  x = 0 (was 15)\n> "
       "back\nthe run stands at its start already\n"},
      {"10 for i = 1 to 3\n20 x = x + i\n30 print x;\n40 next i\nbreak 30\nbreak 40\nbreak\nrun\n"
       "vars\ni = 3\nprint i\nlist 20-30\ncont\nunbreak 30\nunbreak 30\ncont\nstep\nstep\ncont",
       "> 10 for i = 1 to 3\n> 20 x = x + i\n> 30 print x;\n30:11: warning: [print-item]\n> 40 "
       "next i\n> break 30\na run stops "
       "before line 30 runs\n> break 40\na run stops before line 40 runs\n"
       "> break\nbreakpoints at lines 30, 40\n> run\nbreak at [30] print x;\n> vars\ni = 1  x = 1\n"
       "> i = 3\n> print i\n3\n> list 20-30\n   20 x = x + i\n-> 30 print x;\n> cont\n1\n"
       "break at [40] next i\n> unbreak 30\ncleared the breakpoint at line 30\n> unbreak 30\nno "
       "breakpoint at line 30\n> cont\n> step\na new run starts, with every variable 0\n"
       "[10] for i = 1 to 3\ni = 1\n> step\n[20] x = x + i\nx = 1\n> cont\n1\n"
       "break at [40] next i\n"},
      {"10 x = 7\n20 print x\nstep\nstep\ncont\nstep\n10 x = 8\ncont\ntrace on\nrun\ntrace off\n"
       "run\nbreak 15\nbreak x\nbreak 20\nrun\nunbreak\nunbreak\nrun\nvars x\nnew\nnew\nvars",
       "> 10 x = 7\n> 20 print x\n> step\na new run starts, with every variable 0\n[10] x = 7\n"
       "x = 7\n> step\n[20] print x\n7\nthe run has ended\n> cont\nno run is stopped: type 'run', "
       "or 'step' to run one line\n> step\na new run starts, with every variable 0\n[10] x = 7\n"
       "x = 7\n> 10 x = 8\nthe run stopped at line 20 is over, since the "
       "program changed\n> cont\nno run is stopped: type 'run', or 'step' to run one line\n> trace "
       "on\n"
       "> run\n[10][20]8\n> trace off\n> run\n8\n> break 15\nno line 15\n> break x\nbreak: type "
       "'break N' to stop before line N runs\n> break 20\na run stops before line 20 runs\n"
       "> run\nbreak at [20] print x\n"
       "> unbreak\ncleared 1 breakpoint\n> unbreak\nthere were no breakpoints\n> run\n8\n"
       "> vars x\n'vars' takes no argument\n> new\nthe program has changes that are not "
       "saved: type 'new' again to go on without saving them, or 'save FILE'\n> new\nforgot 2 "
       "lines and every variable: the program is empty\n> vars\nevery variable is 0\n"},
      // A run that ends at a jump to a missing line says so; one that ends after its last line
      // does not.
      {"10 x = 1\n20 if x then goto 75\n30 end\nrun\n20 goto 75\n30\nrun\nstep\n10 x = 0\nrun",
       "> 10 x = 1\n> 20 if x then goto 75\n> 30 end\n> run\nthe run ended at line 20: no line is "
       "numbered 75\n> 20 goto 75\n> 30\n> run\nthe run ended at line 20: no line is numbered "
       "75\n> step\na new run starts, with every variable 0\n[10] x = 1\nx = 1\n> 10 x = 0\nthe "
       "run stopped at line 20 is over, since the "
       "program changed\n> run\nthe run ended at line 20: no line is numbered 75\n"},
      // An immediate line's run stops at breakpoints too; a run stopped before waits beside it.
      {"10 x = x + 1\n20 print x\n30 end\n100 y = 5\n110 return\nbreak 110\nrun\nbreak 20\n"
       "goto 10\ngosub 100\nvars\ncont\ncont\n110\nbreak",
       "> 10 x = x + 1\n> 20 print x\n> 30 end\n> 100 y = 5\n> 110 return\n> break 110\na run "
       "stops before line 110 runs\n> run\n1\n> break 20\na run stops before line 20 runs\n"
       "> goto 10\nbreak at [20] print x\n> gosub 100\nbreak at [110] return\n"
       "> vars\nx = 2  y = 5\n> cont\nback to the run stopped at line 20\n> cont\n2\n> 110\n"
       "the breakpoint at line 110 went with its line\n> break\na breakpoint at line 20\n"},
      // Stepping to the end of an immediate line's run comes back to the run stopped before.
      {"10 gosub 100\n20 end\n100 print 1\n110 return\nbreak 20\nrun\nbreak 100\ngosub 100\nstep\n"
       "step\ngosub 100\n10 print \"a\nprint 1\ncont\n20 b\"\nrun 20\nbreak 20",
       "> 10 gosub 100\n> 20 end\n> 100 print 1\n> 110 return\n> break 20\na run stops before "
       "line 20 runs\n> run\n1\nbreak at [20] end\n> break 100\na run stops before line 100 runs\n"
       "> gosub 100\nbreak at [100] print 1\n> step\n[100] print 1\n1\n"
       "> step\n[110] return\nthe run has ended\nback to the run stopped at line 20\n"
       "> gosub 100\nbreak at [100] print 1\n"
       "> 10 print \"a\nthe run stopped at line 100 is over, since the program changed\n"
       "10:10: warning: [unclosed-literal]\nline 20 is inside a literal now: no run stops there\n"
       "line 100 is inside a literal now: no run stops there\n> print 1\n1\n> cont\nno run is "
       "stopped: type 'run', "
       "or 'step' to run one line\n> 20 b\"\n> run 20\nrun: no jump finds line 20: it is "
       "inside a literal that runs on from a line above (type 'check')\n> break 20\nbreak: a "
       "run never stops at line 20: it is inside a literal that runs on from a line above "
       "(type 'check')\n"},
      // A variable typed alone is not run: it would be set to 0. A stopped run is named by its
      // own line, whatever the edit that ends it; other debuggers' words get ours; a step is
      // not traced twice.
      {"10 x = 7\n20 print x\nbreak 20\nrun\nb 20\n5 y = 1\nc\ncontinue\nvarsé\ntrace "
       "on\nstep\nstep",
       "> 10 x = 7\n> 20 print x\n> break 20\na run stops before line 20 runs\n> run\nbreak at "
       "[20] print x\n> b 20\ncolumn 3: warning: "
       "[missing-equals]\nnot run: it would set b to 0; type 'print b' to show b, 'cont' or 'step' "
       "to go on\n> 5 y = 1\nthe run stopped at line 20 is over, since the program changed\n> c\n"
       "column 2: warning: [missing-equals]\nnot run: it would set c to 0; type 'print c' to show "
       "c, "
       "'help' for the commands\n> continue\nunknown command 'continue': type 'cont'\n> "
       "varsé\nunknown command 'varsé': "
       "'help' lists them\n> trace on\n> step\na new run starts, with every variable 0\n[5] y = 1\n"
       "y = 1\n> step\n[10] x = 7\nx = 7\n"},
      // Breakpoints belong to their program: a literal that takes in a breakpoint's line is
      // named, a deleted line takes its breakpoint along, and new clears them.
      {"10 print 1\n30 print 3\nbreak 30\nbreak 30\n20 print \"oops\nbreak\n20 print 2\nbreak\n"
       "delete 20-30\nbreak 10\nnew\nnew\nbreak",
       "> 10 print 1\n> 30 print 3\n> break 30\na run stops before line 30 runs\n> break 30\nline "
       "30 has a breakpoint already\n> 20 print \"oops\n20:10: warning: [unclosed-literal]\nline "
       "30 is inside a literal now: no run stops there\n> break\na breakpoint at line 30 (no run "
       "stops at 30: inside a literal)\n> 20 print 2\n> break\na breakpoint at line 30\n> delete "
       "20-30\ndeleted 2 lines\nthe breakpoint at line 30 went with its line\n> break 10\na run "
       "stops before line 10 runs\n> new\nthe program has changes that are not saved: type 'new' "
       "again to go on without saving them, or 'save FILE'\n> new\nforgot 1 line and every "
       "variable: the program is empty\ncleared 1 breakpoint of the old program\n> break\nno "
       "breakpoints: type 'break N' to stop at line N\n"},
      // Without a terminal, a trace's line still ends before what comes next.
      {"10 x = 1\n20 end\ntrace on\nrun\nprint 1",
       "> 10 x = 1\n> 20 end\n> trace on\n> run\n[10][20]\n> print 1\n1\n"},
      // A run stopped by the bound goes on with cont, for as many statements again.
      {"10 goto 10\nrun\ncont",
       "> 10 goto 10\n> run\nstopped after 10000 statements at line 10 (--max-steps)\n> cont\n"
       "stopped after 10000 statements at line 10 (--max-steps)\n"}};
  for (const auto& [typed, shown] : cases)
    EXPECT_EQ(transcript(typed), shown) << typed;
}

// Loading takes a regular file of numbered lines that go up, as a run would take it, or
// refuses the file and says why; the program is never lost.
TEST(SessionTest, LoadsOnlyWhatRunsAsItWould) {
  const ScratchFolder folder;
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder / name, std::ios::binary) << text;
  };
  write("bom.bas",
        "\xEF\xBB\xBF"
        "10 print 1\r\n\r\n  20 print 2\r\n");
  write("down.bas", "20 print 2\n10 print 1\n");
  write("bare.bas", "10 print 1\nprint 2\n");
  write("twice.bas", "10 print 1\n10 print 2\n");
  write("literal.bas", "10 print 1\n20 print \"a  \n\n30 b\"\n");
  write("warn.bas", "10 PRINT 1\n20 goto 99\n");
  std::filesystem::create_directory(folder / "dir");
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
  write("big.bas", "");
  std::filesystem::resize_file(folder / "big.bas", (16 << 20) + 1);
  const std::string typed =
      "load @bom.bas\nlist\nload @down.bas\nload @bare.bas\nload @twice.bas\nload "
      "@literal.bas\nload @none.bas\n"
      "load @dir\nload @fifo\nload @big.bas\nload @warn.bas\nlist\n30 end\nbreak 10\nbreak "
      "30\nload "
      "@none.bas\n"
      "load @bom.bas\nload @bom.bas";
  const std::string shown =
      "> load @bom.bas\nloaded 2 lines from @bom.bas; no warnings\n> list\n10 print 1\n20 print "
      "2\n> load @down.bas\nload: @down.bas:2: line 10 comes after line 20, and the session "
      "keeps lines in number order, which would change what the program does; nothing was "
      "loaded\n> load @bare.bas\nload: @bare.bas:2: the line has no number, and the session "
      "keeps numbered lines only; nothing was loaded\n> load @twice.bas\nload: @twice.bas:2: "
      "line number 10 is used already on text line 1; nothing was loaded\n> load "
      "@literal.bas\nload: "
      "@literal.bas:2: the literal that opens here runs on over the line's end, and the session "
      "would not keep the blanks or empty lines the file has inside it; nothing was loaded "
      "(linebasic-run runs the file as it is)\n> load @none.bas\nload: "
      "@none.bas: No such file or directory; nothing was loaded\n> load @dir\nload: @dir: is a "
      "directory, not a file; nothing was loaded\n> load @fifo\nload: @fifo: is a FIFO (a named "
      "pipe), not a file; nothing was loaded\n> load @big.bas\nload: @big.bas: is larger than "
      "16 MiB, which no program needs; nothing was loaded\n> load @warn.bas\nloaded 2 lines "
      "from @warn.bas; 2 warnings: type 'check'\n> list\n10 PRINT 1\n20 goto 99\n> 30 end\n> break "
      "10\na run stops before line 10 runs\n> break 30\na run stops before line 30 runs\n"
      "> load @none.bas\nload: @none.bas: No such file or directory; nothing was loaded\n"
      "> load @bom.bas\nthe program has changes that are not saved: type 'load @bom.bas' "
      "again to go on without saving them, or 'save FILE'\n> load @bom.bas\nloaded 2 lines "
      "from @bom.bas; no warnings\ncleared 2 breakpoints of the old program\n";
  const std::string at = folder.path().string() + "/";
  EXPECT_EQ(transcript(std::regex_replace(typed, std::regex("@"), at)),
            std::regex_replace(shown, std::regex("@"), at));
}

// Saving replaces only the regular file meant, asks twice before replacing a file the session
// did not load or save or one that denies writing, and keeps links and permission bits.
TEST(SessionTest, SavesOnlyWhereItShould) {
  const ScratchFolder folder;
  const auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder / name, std::ios::binary) << text;
  };
  write("notes.bas", "notes\n");
  write("target.bas", "old\n");
  write("one.bas", "10 print 1\n");
  write("ro.bas", "10 print 2\n");
  std::filesystem::create_symlink("target.bas", folder.path() / "link.bas");
  std::filesystem::create_hard_link(folder / "one.bas", folder.path() / "other.bas");
  ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(chmod((folder / "ro.bas").c_str(), 0444), 0);
  ASSERT_EQ(setenv("HOME", folder.path().c_str(), 1), 0);
  const std::string typed =
      "10 end\nsave @notes.bas\nsave @notes.bas\nsave @link.bas\nsave @link.bas\nsave @fifo\n"
      "save @\nsave ~/\"a b\"\nsave \"~/a b.bas\"\nsave \"x\nsave \" \"\nload @one.bas\n10 print "
      "3\nsave\n"
      "load @ro.bas\nsave\nsave";
  const std::string shown =
      "> 10 end\n> save @notes.bas\nsave: @notes.bas exists: type 'save @notes.bas' again to "
      "replace it\n> save @notes.bas\nsaved 1 line to @notes.bas\n> save @link.bas\nsave: "
      "@link.bas exists: type 'save @link.bas' again to replace it\n> save @link.bas\nsaved 1 line "
      "to @link.bas\n"
      "> save @fifo\nsave: @fifo: is a FIFO (a named pipe), not a file; the program is still "
      "in the session, and nothing was written\n> save @\nsave: @: is a directory, not a file; "
      "the program is still in the session, and nothing was written\n> save ~/\"a b\"\nsave: "
      "put a file name with blanks in double quotes: save \"my program.bas\"\n> save \"~/a "
      "b.bas\"\nsaved 1 line to @a b.bas\n> save \"x\nsave: a file name in double quotes ends "
      "at its second quote\n> save \" \"\nsave: the file name in double quotes is only blanks\n"
      "> load @one.bas\nloaded 1 line from @one.bas; no warnings\n> 10 "
      "print 3\n> save\nsaved 1 line to @one.bas\n> load @ro.bas\nloaded 1 line from @ro.bas; "
      "no warnings\n> save\nsave: @ro.bas is read-only: type 'save' again to replace it\n> save\n"
      "saved 1 line to @ro.bas\n";
  const std::string at = folder.path().string() + "/";
  EXPECT_EQ(transcript(std::regex_replace(typed, std::regex("@"), at)),
            std::regex_replace(shown, std::regex("@"), at));
  EXPECT_EQ(readFile(folder / "notes.bas"), "10 end\n");
  EXPECT_TRUE(std::filesystem::is_symlink(folder.path() / "link.bas"));
  EXPECT_EQ(readFile(folder / "target.bas"), "10 end\n");
  EXPECT_EQ(readFile(folder / "a b.bas"), "10 end\n");
  EXPECT_EQ(readFile(folder / "other.bas"), "10 print 3\n");  // one file, two names
  EXPECT_EQ(std::filesystem::status(folder / "ro.bas").permissions(), std::filesystem::perms(0444));
  EXPECT_EQ(std::filesystem::status(folder / "fifo").type(), std::filesystem::file_type::fifo);
  // A file saved by a relative name is this session's from then on.
  std::filesystem::current_path(folder.path());
  EXPECT_EQ(transcript("10 print 1\nsave new.bas\nsave"),
            "> 10 print 1\n> save new.bas\nsaved 1 line to new.bas\n> save\nsaved 1 line to "
            "new.bas\n");
  ASSERT_EQ(setenv("HOME", "", 1), 0);
  EXPECT_EQ(transcript("save ~/x.bas"),
            "> save ~/x.bas\nsave: ~ stands for the home folder, which HOME names, and HOME is "
            "empty: give the whole path\n");
  ASSERT_EQ(unsetenv("HOME"), 0);
  EXPECT_EQ(transcript("save ~/x.bas"),
            "> save ~/x.bas\nsave: ~ stands for the home folder, which HOME names, and HOME is not "
            "set: give the whole path\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                          std::filesystem::directory_iterator()),
            9);  // no temporary file left behind
}

// A file another program (or session) wrote since this session loaded or saved it is replaced
// only when the same save comes again: a change of its size, or of its time alone. The session's
// own saves, by a rename or in place, change nothing.
TEST(SessionTest, AsksBeforeSavingOverChangesMadeElsewhere) {
  namespace fs = std::filesystem;
  const ScratchFolder folder;
  const fs::path file = folder / "a.bas";
  const fs::path other = folder / "b.bas";
  std::ofstream(file) << "10 print 1\n";
  Typed typed;
  transcript(typed, "load " + file.string() + "\n20 print 2");
  const std::string saved = "> save\nsaved 2 lines to " + file.string() + "\n";
  const std::string asked = "> save\nsave: " + file.string() +
                            " has changed since this session loaded or saved it: type 'save' "
                            "again to replace it, or save under another name to keep both\n";
  const std::vector<std::pair<std::function<void()>, std::string>> cases = {
      {[] {}, saved},
      {[&] { fs::last_write_time(file, fs::last_write_time(file) + std::chrono::nanoseconds(1)); },
       asked},
      {[] {}, saved},
      {[&] { fs::create_hard_link(file, other); }, saved},
      {[] {}, saved},
      {[&] { std::ofstream(file) << "15 print \"someone else\"\n"; }, asked}};
  for (const auto& [change, shown] : cases) {
    change();
    EXPECT_EQ(transcript(typed, "save"), shown);
  }
  EXPECT_EQ(readFile(file), "15 print \"someone else\"\n");
}

// An interrupt (here: one that came before) stops a command and says where, on a line of its
// own after the "^C" a terminal echoed. A script's interrupt is the executable's test.
TEST(SessionTest, SaysWhereAnInterruptStopped) {
  const ScratchFolder folder;
  const std::string file = folder / "a.bas";
  std::ofstream(file) << "10 print 1\n";
  for (const auto& [command, shown] : std::vector<std::pair<std::string, std::string>>{
           {"list 20-30", "\nstopped the listing at line 20: type 'list 20-30' for the rest\n"},
           {"load " + file, "\nload: " + file + ": stopped; nothing was loaded\n"}}) {
    std::atomic<int> interrupt{0};
    Typed typed({.maxSteps = {}, .interrupted = &interrupt, .onTerminal = true});
    transcript(typed, "10 goto 10\n20 goto 99");
    interrupt = 1;
    EXPECT_EQ(transcript(typed, command), std::string("> ").append(command) + "\n" + shown);
  }
}

// A write that fails halfway (here: past the file size limit) leaves the old file whole, both
// when the file is replaced and when it is rewritten in place for its other name.
TEST(SessionTest, KeepsTheProgramAndTheFileWhenAWriteFails) {
  const ScratchFolder folder;
  const std::string line = "10 print " + std::string(300, '1');
  for (const bool linked : {false, true}) {
    const std::string file = folder / (linked ? "linked.bas" : "alone.bas");
    Typed typed(SessionSettings{});
    transcript(typed, "10 print 1\nsave " + file);
    transcript(typed, line);
    if (linked) std::filesystem::create_hard_link(file, folder / "other.bas");
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 200;  // no room for the program
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string shown = transcript(typed, "save");
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(shown, "> save\nsave: " + file +
                         ": File too large; the program is still in the session, and the file "
                         "is as it was\n");
    EXPECT_EQ(typed.session.programText(), line + "\n");
    EXPECT_EQ(readFile(file), "10 print 1\n");
  }
}

}  // namespace
}  // namespace linebasic

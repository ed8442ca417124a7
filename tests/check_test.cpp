// The checker: each warning where a run goes astray, once, at the first wrong byte; nothing
// on the programs the project ships.
#include "check/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <tuple>

#include "app/demo_program.h"
#include "check/lines.h"
#include "debug/run_control.h"
#include "edit/fix.h"
#include "interpreter/interpreter.h"
#include "test_support.h"

namespace linebasic {
namespace {

using testing::readFile;
using testing::repeat;

// "LINE:COLUMN [NAME]" for each warning, separated by spaces.
// `slips`: without the values a run stores out of range, which a program may mean to wrap.
std::string check(const std::string& text, bool slips = false) {
  std::string found;
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    if (slips && diagnostic.message.starts_with("on the run,")) continue;
    found += (found.empty() ? "" : " ") + std::to_string(diagnostic.line) + ":" +
             std::to_string(diagnostic.column) + " [" + std::string(diagnostic.name) + "]";
  }
  return found;
}

TEST(CheckTest, WarnsAtTheFirstWrongByte) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"10 PRINT \"HELLO\"\n20 pRINT", "1:4 [keyword-case] 2:4 [keyword-case]"},
      {"'a comment first\n", "1:1 [stray-token]"},  // its fix starts at the text's first byte
      {"print(x)\nif x then\tend\ngosub100",
       "1:1 [keyword-glued] 2:6 [keyword-glued] "
       "3:1 [keyword-glued]"},
      {"rem count the lines\nfor i = 1 to 9 step 2\nnext i\nif ab then end\ninput a",
       "1:1 [unknown-word] 2:16 [unknown-word] 4:4 [unknown-word] 5:1 [unknown-word]"},
      {"x = -3\nprint +1\nx = 2 * -3", "1:5 [unary-sign] 2:7 [unary-sign] 3:9 [unary-sign]"},
      {"if a <= b then end\nif a <> b then end\nx == 1\nif a=>b then end",
       "1:6 [operator-pair] 2:6 [operator-pair] 3:3 [operator-pair] 4:5 [operator-pair]"},
      {"if x < 3 print 1\nif x THEN end", "1:10 [missing-then] 2:6 [keyword-case]"},
      {"if a <", "1:7 [missing-operand]"},  // the advice for pairs reads nothing past the text
      // A broken LET takes the next line's first token; a statement after a line number is
      // checked again.
      {"let x 5\n20 for i 1 to 9\nnext i", "1:7 [missing-equals] 2:10 [missing-equals]"},
      {"let x 5\nfor i 1 to 9\nnext i", "1:7 [missing-equals]"},
      {"for i = 1 9\nnext i", "1:11 [missing-to]"},
      {"x = (1 < 2)\nx = (1 + 2\nx = 1", "1:8 [missing-paren] 2:11 [missing-paren]"},
      {"print 1 * ;\nx = then\nx = 5 +\nprint 1",
       "1:11 [missing-operand] 2:5 [missing-operand] "
       "3:8 [missing-operand]"},
      {"if x then\nif x then else end\nif x then end else",
       "1:10 [missing-statement] "
       "2:11 [missing-statement] 3:19 [missing-statement]"},
      {"let X = 1\nfor 5 = 1 to 2\nx = Y\nnext\nx = 1",
       "1:5 [not-a-variable] 2:5 [not-a-variable] "
       "3:5 [not-a-variable] 4:5 [not-a-variable]"},
      {"print (a+b)*2\nprint 1 < 2\nprint x Y",
       "1:7 [print-item] 2:9 [print-item] "
       "3:9 [print-item]"},
      // Rest of the line, after each statement that stops before it.
      {"10 gosub 10 print 7\nx = 1 2\nx = 1 < 2\nreturn 1\ngoto 10 x\nx = 1 : y = 2\nend now\nx = "
       "1",
       "1:4 [gosub-depth] 1:13 [rest-of-line] 2:7 [rest-of-line] 3:7 [rest-of-line] 4:8 "
       "[rest-of-line] "
       "5:9 [rest-of-line] 7:5 [unknown-word]"},
      // A value the run computes out of range, where the run first stores it (and only there).
      {"10 n = 12\n20 q = n * n\n30 print n * n\n40 for i = 1 to 9\n50 let p = p + 40\n60 next i",
       "2:4 [value-range] 5:8 [value-range]"},
      // A variable compared alone with a number it cannot hold.
      {"if x > 200 then print 1\nif 300 > x then print 2\nif x + 1 > 200 then print 3\n"
       "if x > 1 > 200 then print 4",
       "1:4 [value-range] 2:4 [value-range]"},
      // ... also after a THEN that holds ...
      {"10 m = 100\n20 for i = 1 to 5\n30 if i > 0 then m = m + 10\n40 next i",
       "3:18 [value-range]"},
      {"10 n = 47\n20 if n % 2 = 0 then n = n / 2 else n = 3 * n + 1", "2:37 [value-range]"},
      // ... and a loop whose end the run first finds below its start.
      {"10 for n = 2 to 3\n20 for d = 2 to n - 1\n30 next d\n40 next n", "2:4 [loop-runs-once]"},
      // A ':' that runs as other BASICs run it is no mistake.
      {"if x then print 1 : goto 9\n9 let a = 1 : let b = 2", ""},
      // ... but for what follows it after THEN, with an ELSE later on the line; a slip after
      // it is told as on a line of its own.
      {"if x then y = 1 : y = 2 else y = 3\nh = 1 : d = -5",
       "1:17 [rest-of-line] 2:13 [unary-sign]"},
      {"for i = 1 to 2 print 7\nnext i 7", "1:16 [rest-of-line] 2:8 [rest-of-line]"},
      {"Hello\nif x then 100\ncall 100\n\"abc\"\nx = 1 else end\n 10 x = 1\n",
       "1:1 [stray-token] 2:11 [stray-token] 3:1 [stray-token] 4:1 [stray-token] "
       "5:7 [rest-of-line]"},
      {" x = 1\n  10 end\n", "1:1 [stray-token]"},
      {"   gosubT 050\n30 next i", "1:4 [keyword-glued] 2:4 [next-without-for]"},
      {"10 goto x\n20 gosub\n30 goto 0010", "1:9 [jump-target] 2:9 [jump-target]"},
      {"10 goto 75\n20 gosub 0\n0 let x = -1",
       "1:9 [missing-line] 3:1 [line-order] 3:11 [unary-sign]"},
      {"20 end\n10 end\n10 print\n30 print", "2:1 [line-order] 3:1 [duplicate-line]"},
      {"10 print\n10 end\n20 print\n\n\n20 end", "2:1 [duplicate-line] 6:1 [duplicate-line]"},
      {"x = 10000\n12345 end\ngoto 99999",
       "1:5 [long-number] 2:1 [long-number] "
       "3:6 [long-number]"},
      {"x = 128\nx = 127\nfor i = 200 to 200\nnext i\nfor j = 1 to 127\nnext j",
       "1:5 [value-range] 3:9 [value-range] "
       "3:16 [value-range]"},
      {"print \"" + std::string(41, 'a') + "\"\nprint \"" + std::string(40, 'a') + "\"",
       "1:7 [long-literal]"},
      {"print \"abc\nend", "1:7 [unclosed-literal]"},
      // A word takes a quote in, and the next quote opens a literal that skips lines; it is told
      // on a line that has gone wrong already.
      {"10 print a$;\"x y\"\n20 print 1\n30 print \"z\"\n40 end",
       "1:11 [print-item] 1:17 [unclosed-literal] 3:12 [unclosed-literal]"},
      {"print \"a\" \"b\"; x 1, y\nprint x\"a\"\nprint \"player\";p1\nprint 1;\"a\";x,",
       "1:11 [print-item] 2:8 [print-item] 3:16 [unknown-word] 4:14 [print-item]"},
      {"print \"a\nb\"\nx = 1 +\"a\nb\" 2", "1:7 [unclosed-literal] 3:8 [unclosed-literal]"},
      {"next i\nfor i = 1 to 2\nnext i\nfor j = 1 to 2\nnext i",
       "1:1 [next-without-for] "
       "4:1 [for-without-next]"},
      // A NEXT of an outer loop while an inner one is open, in text order or after a GOTO out
      // of the inner loop; not for a loop the run may never open.
      {"for i = 1 to 3\nfor j = 1 to 2\nnext i\nnext j", "3:1 [next-outer-loop]"},
      {"for i = 1 to 3\nfor j = 1 to 2\nif j then goto 60\nnext j\n60 next i",
       "3:11 [next-outer-loop]"},
      {"for i = 1 to 3\ngoto 40\nfor j = 1 to 2\n40 next i\nnext j", ""},
      {"for i = 1 to 3\nif i then for j = 1 to 2\nnext i\nnext j", ""},
      // IFs nest 256 deep as branches, and so do parentheses; IFs and parentheses count together.
      {repeat("if 1 then ", kNestingDepthMax) + "print 1 else print 2", ""},
      {repeat("if 1 then ", 100'000) + "end",
       "1:" + std::to_string(10 * kNestingDepthMax + 11) + " [nesting-depth]"},
      {"x = " + std::string(kNestingDepthMax, '(') + "1",
       "1:" + std::to_string(kNestingDepthMax + 6) + " [missing-paren]"},
      {"x = " + std::string(kNestingDepthMax + 1, '(') + "1)",
       "1:" + std::to_string(kNestingDepthMax + 5) + " [nesting-depth]"},
      // One mistake is told once; the next line's mistakes are told even when the broken
      // statement has taken the next line's number.
      {"10 x = 5 +\n20 x = -1\n30 PRINT\n",
       "1:11 [missing-operand] 2:8 [unary-sign] "
       "3:4 [keyword-case]"},
      {"if 1 then if 1 then print 1 else print 2 else print 3\nif 0 then x = 1 else PRINT",
       "2:22 [keyword-case]"},
      {"print \"a\", x; 1, \"\"\nprint\nx=x+i\nlet y = (x+1)*2%3\nif x > 1 then x = 0 else gosub "
       "9\n"
       "9 return\n\n",
       "6:1 [falls-into-subroutine]"}};
  for (const auto& [text, warnings] : cases)
    EXPECT_EQ(check(text), warnings) << ::testing::PrintToString(text);
}

// Messages that read well as they are keep their words.
TEST(CheckTest, KeepsItsClearestMessages) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"if x then 50", "'50' starts no statement: the run skips it; to jump, write 'goto 50'"},
      {"if a <= b + 1 then end",
       "there is no '<=' operator: the run reads its '=' as 0; "
       "for 'a <= b + 1' write 'a < b + 1 + 1'"},
      {"if a and b then end",
       "there is no AND: the run reads 'and' as variables, one letter each; nest the IFs, as in "
       "'if a = 1 then if b = 2 then ...'"}};
  for (const auto& [text, message] : cases) {
    const std::vector<Diagnostic> diagnostics = checkProgram(text);
    ASSERT_FALSE(diagnostics.empty()) << text;
    EXPECT_EQ(diagnostics[0].message, message) << text;
  }
}

// A warning that follows from a mistake on an earlier line names that line; a chain of lines
// read on into is told as one range, with where the run picks up again. TEXT, LINE of the
// warning, and what its message must say.
TEST(CheckTest, NamesCausesAndWholeChains) {
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"10 for t = 1 to 2\n20 print \"x\n30 next t\n40 print \"y\"", 1,
       "'next t' on line 30 is inside the literal that opens on line 20"},
      {"10 for t = 1 to 2\n20 print \"x\n30 next t\n40 print \"y\"", 4, "from line 20"},
      {"30 rem this is a comment\n40 input n\n50 print n\n60 print \"sixty\"\n70 print 7", 1,
       "swallows lines 40 to 60, which never run as written, and picks up again at line 70"},
      {"100 for x = 1 to 10 : rem choose\n110 print x\n120 next x\n130 print 1", 1,
       "swallows lines 110 to 130, which never run as written"},
      {"10 x = 1\n # x = 5 is the start\n20 print x\n", 2,
       "swallows line 20, which never runs as written; remove the comment [stray-token]"},
      {"10 for i = 1 to 3\n20 for j = 1 to 2\n30 next i\n40 next j", 3,
       "names an outer loop while the loop over j from line 20 is open"},
      {"20 for n = 2 to 9\n30 for d = 2 to 3\n40 if n % d = 0 then goto 70\n50 next d\n70 next n",
       3, "leaves the loop over d from line 30 open, so the run ignores 'next n' on line 70"},
      {"10 Hel\\lo\x01", 1, "'Hel\\lo\\x01' is no statement: the run skips it"},
      {"a(1) = 5", 1, "the run steps over '(' where '=' belongs"},
      // Advice that is right when typed: what a line still lacks, in the user's own text.
      {"10 FOR I = 1 TO 9 : PRINT A(I), : NEXT I", 1,
       "put each statement on a line of its own, in lower case; but there are no arrays"},
      {"10 PRINT \"X\";A$;\"Y\"", 1, "write 'print \"X\";\"Y\"', the text it can print"},
      {"10 INPUT A, B", 1, "'let a = 5' and 'let b = 7'"},
      {"10 IF S <= 0 THEN PRINT \"YOU TOOK THE LAST ONE, SO YOU LOSE THE GAME\" : END", 1,
       "write the whole line in lower case, outside its literals [keyword-case]"},
      {"30 FOR I = 2 TO 200\n40 NEXT I", 1, "write 'for i = 2 to 127'"},
      {"10 T=0", 1, "write 't' for 'T'"},
      {"10 for k = 1 to 3\n20 next s\n30 next k", 2, "the loop open here is over k"},
      {"10 gosub 100\n20 end\n100 REM SUB\n110 return", 3, "keep the line's number"},
      {"if x > (a < b) then end", 1,
       "steps over '<' as if it were ')', so the condition becomes 'x > (a)'"}};
  for (const auto& [text, line, says] : cases) {
    std::string messages;
    for (const Diagnostic& diagnostic : checkProgram(text)) {
      if (diagnostic.line == line) messages += formatDiagnostic(diagnostic, "") + "\n";
    }
    EXPECT_NE(messages.find(says), std::string::npos) << text << "\n" << messages;
  }
}

// Programs as someone coming from another BASIC writes them, without jumps or loops, so that
// the lines a run reaches show which lines it swallows; IFs whose condition may be false.
std::string slipProgram(std::mt19937& random) {
  static const std::vector<std::string> kLines = {"print x",
                                                  "x = x + 1",
                                                  "rem count the lines",
                                                  "input n",
                                                  "x = 5 +",
                                                  "let y",
                                                  "print -x",
                                                  "if x then",
                                                  "if x",
                                                  "if x > 1",
                                                  "PRINT x",
                                                  "x = -3",
                                                  "y = x * -2",
                                                  "print \"abc",
                                                  "if x <= 3 then print 1",
                                                  "if x > 1 then let y",
                                                  "if a(x) > 1 then y = a(1) : y = t",
                                                  "print \"a\" : y = 1",
                                                  "x = 1 : rem note",
                                                  "DIM a(3)",
                                                  "a$ = \"b\"",
                                                  "next",
                                                  "print a(1)",
                                                  "y = 100000",
                                                  "",
                                                  "print \"x\";y",
                                                  "  ",
                                                  "c = 1:",
                                                  "if x > 1 print x",
                                                  "for i = 1 9",
                                                  "IF X > 1 AND X < 5 THEN PRINT X",
                                                  "if (x < 3) then print 1",
                                                  "print x; ' note"};
  std::string text;
  const auto count = 1 + random() % 8;
  for (std::size_t line = 1; line <= count; ++line) {
    if (random() % 8 != 0) text += std::to_string(10 * line) + " ";
    text += kLines[random() % kLines.size()] + "\n";
  }
  return text;
}

// What a run of `text` reaches: the line numbers it meets where a statement may start (a line
// it never meets so never runs as written), and the lines it runs, as --trace shows them.
struct Reached {
  std::set<std::int32_t> numbers;
  std::set<std::int32_t> lines;
};
Reached reachedLines(const std::string& text) {
  Interpreter run;
  run.load(text.c_str());
  Reached reached;
  ::testing::internal::CaptureStdout();
  for (int step = 0; step < 10'000 && !run.isDone(); ++step) {
    if (const std::optional<std::int32_t> number = lineNumberAt(run))
      reached.numbers.insert(*number);
    if (startsStatement(run.token)) {
      if (const std::optional<std::int32_t> line = lineNumberOfLine(run))
        reached.lines.insert(*line);
    }
    run.executeStatement();
  }
  ::testing::internal::GetCapturedStdout();
  return reached;
}

// Over generated programs, every message is short, names only lines the program has, and
// says of the lines it swallows only what the run does: it never reaches them, and reaches
// the line where it picks up again.
TEST(CheckTest, MessagesNameLinesThatExistAndSayWhatTheRunReaches) {
  std::mt19937 random(30);
  const std::regex named("(text )?lines? (\\d+)(?: to (\\d+))?");
  // A claim made "when the IF holds" (or fails) is left out: the run may not reach the line.
  const std::regex swallows("(?:^|; )the run swallows lines? (\\d+)(?: to (\\d+))?");
  const std::regex picksUp("(?:^|; )the run swallows [^;]*picks up again at line (\\d+)");
  const std::regex word("\\S+");
  const std::regex quoted("'[^']*'");  // the program's own text, which may say "line 5"
  for (int program = 0; program < 3000; ++program) {
    const std::string text = slipProgram(random);
    const auto lines = std::count(text.begin(), text.end(), '\n');
    std::set<std::int32_t> numbers;
    std::vector<std::size_t> lineStarts;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
      lineStarts.push_back(at);
      if (isDigit(text[at])) numbers.insert(decimalValue(&text[at]));
    }
    const Reached reached = reachedLines(text);
    for (const Diagnostic& diagnostic : checkProgram(text)) {
      const std::string said = diagnostic.message;
      const std::string message = std::regex_replace(said, quoted, "");
      EXPECT_LE(std::distance(std::sregex_iterator(said.begin(), said.end(), word),
                              std::sregex_iterator()),
                50)
          << text << said;
      for (std::sregex_iterator m(message.begin(), message.end(), named), end; m != end; ++m) {
        for (const int group : {2, 3}) {
          if (!(*m)[group].matched) continue;
          const int n = std::stoi((*m)[group]);
          EXPECT_TRUE((*m)[1].matched ? n >= 1 && n <= lines : numbers.contains(n)) << text << said;
        }
      }
      // What the run does once it has run the warning's line: a false IF may skip that line.
      std::smatch m;
      const std::int32_t warned = decimalValue(text.c_str() + lineStarts[diagnostic.line - 1]);
      if (!reached.numbers.contains(warned)) continue;
      if (std::regex_search(message, m, swallows)) {
        const int last = m[2].matched ? std::stoi(m[2]) : std::stoi(m[1]);
        for (int n = std::stoi(m[1]); n <= last; n += 10)
          EXPECT_FALSE(reached.numbers.contains(n)) << text << said;
      }
      if (std::regex_search(message, m, picksUp)) {
        const int n = std::stoi(m[1]);
        EXPECT_TRUE(reached.lines.contains(n) || reached.numbers.contains(n)) << text << said;
      }
    }
  }
}

// A line with a mistake whose advice can be typed in, and the line it evidently means: the
// unary sign, the operators of other BASICs and upper case.
struct Slip {
  std::string written;
  std::string meant;
};

// The names of the warnings on `text` up to its text line `last`, sorted.
std::multiset<std::string> namesOf(const std::string& text, int last) {
  std::multiset<std::string> names;
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    // A mended value may come out of range at run time, as the meant program's would.
    if (diagnostic.line <= last && !diagnostic.message.starts_with("on the run,"))
      names.emplace(diagnostic.name);
  }
  return names;
}

// Every piece of advice "write 'NEW' for 'OLD'" (or "for 'OLD' write 'NEW'", or "write 'NEW'"
// for the word at the warning) is its warning's fix: applied alone, the fix removes that warning
// and adds none on its line or above (below, it may bring to light the warnings of lines its
// mistake swallowed); applied all together, the program prints what the text evidently meant.
TEST(CheckTest, FixesAreTheAdviceAndRunAsMeant) {
  static const std::vector<Slip> kSlips = {
      {"x = -A", "x = 0 - A"},
      {"x = -A * B", "x = 0 - A * B"},
      {"y = x * -B", "y = x * (0 - B)"},
      {"y = x - -(A + B)", "y = x - (0 - (A + B))"},
      {"y = x % -B", "y = x % (0 - B)"},
      {"if x < -A then print 1", "if x < 0 - A then print 1"},
      {"print -x", "print 0 - x"},
      {"print x; -A", "print x; 0 - A"},
      {"if x <= A then print 2", "if x < A + 1 then print 2"},
      {"if x + 1 >= A - -B then print 3", "if x + 1 > A - (0 - B) - 1 then print 3"},
      {"if x != A + B then print 4 else print 5", "if x - (A + B) then print 4 else print 5"},
      {"if x <> -A then print 4 else print 5", "if x - (0 - A) then print 4 else print 5"},
      {"if x =< -(A - -B) then print 6", "if x < 0 - (A - (0 - B)) + 1 then print 6"},
      {"if x == A then print 7", "if x = A then print 7"},
      {"PRINT x", "print x"},
      {"print (x + A) * B", "print 0+(x + A) * B"},
      {"print(x - A) % B", "print 0+(x - A) % B"},
      {"print\"A\"", "print \"A\""},
      {"print \"A", "print \"A\""},
      {"\"B\"", "print \"B\""},
      {"REM x = A", ""},
      {"x = A : rem x = B", "x = A"},
      {"y = A mod B + 1", "y = A % B + 1"},
      {"X = A", "x = A"},
      {"if x > A print x + B", "if x > A then print x + B"},
      {"IF X/2 = INT(X/2) THEN PRINT A", "if x % 2 = 0 then print A"},
      {"Y = X - INT(X/4)*4 + A", "y = x % 4 + A"},
      {"print int(x/3)*3; int(x+A)*B", "print x/3*3; 0 + (x+A)*B"},
      {"IF X > 2 aND X < 7 THEN PRINT X", "if x > 2 then if x < 7 then print x"},
      {"IF X = 2 oR X > 6 THEN PRINT 1", "if x = 2 then print 1 else if x > 6 then print 1"},
      {"if (x < A) then print B", "if x < A then print B"},
      {"print 0+(x * (A + B", "print 0+(x * (A + B))"},
      {"print x; ' B", "print x"},
      {"let y A * x : print y", "let y = A * x : print y"},
      {"IF X <= A THEN PRINT \"THE END IS HERE, YOU LOSE THE LOT NOW\" : END",
       "if x < A + 1 then print \"THE END IS HERE, YOU LOSE THE LOT NOW\" : end"}};
  std::mt19937 random(24);
  const std::regex forOld("write '([^']*)' for '([^']*)'|for '([^']*)' write '([^']*)'");
  for (int program = 0; program < 2000; ++program) {
    std::string written;
    std::string meant;
    for (int line = 1; line <= 4; ++line) {
      Slip slip = kSlips[random() % kSlips.size()];
      for (const char letter : {'A', 'B'}) {
        const std::string value = std::to_string(random() % 9);
        for (std::string* text : {&slip.written, &slip.meant}) {
          for (auto at = text->find(letter); at != std::string::npos; at = text->find(letter))
            text->replace(at, 1, value);
        }
      }
      written += std::to_string(10 * line) + " " + slip.written + "\n";
      meant += std::to_string(10 * line) + " " + slip.meant + "\n";
    }
    for (const Diagnostic& diagnostic : checkProgram(written)) {
      if (!diagnostic.fix) continue;
      const Fix& fix = *diagnostic.fix;
      std::smatch m;
      if (std::regex_search(diagnostic.message, m, forOld)) {
        EXPECT_EQ(fix.replacement, m[1].matched ? m[1] : m[4]) << written << diagnostic.message;
        EXPECT_EQ(written.substr(fix.offset, fix.length), m[1].matched ? m[2] : m[3]);
      }
      std::multiset<std::string> left = namesOf(written, diagnostic.line);
      left.erase(left.find(std::string(diagnostic.name)));
      EXPECT_EQ(namesOf(applyFix(written, fix), diagnostic.line), left)
          << written << diagnostic.message;
    }
    const Fixed fixed = applyFixes(written);
    EXPECT_EQ(check(fixed.text, true), "") << written << fixed.text;
    EXPECT_EQ(testing::runProgram(fixed.text), testing::runProgram(meant)) << written;
  }
  // Fixes that span lines: NEXTs in the wrong order trade places.
  const std::vector<Slip> kPrograms = {
      {"10 for i = 1 to 3\n20 for j = 1 to 2\n30 print i; j\n40 next i\n50 next j\n",
       "10 for i = 1 to 3\n20 for j = 1 to 2\n30 print i; j\n40 next j\n50 next i\n"}};
  for (const auto& [written, meant] : kPrograms) {
    const Fixed fixed = applyFixes(written);
    EXPECT_EQ(check(fixed.text), "") << fixed.text;
    EXPECT_EQ(testing::runProgram(fixed.text), testing::runProgram(meant)) << written;
  }
}

// Advice that no single edit can apply, typed in as it says: the line it writes, the lines it
// adds after it (numbered one up), and for a count-up loop the value it says to use for the
// loop's variable in the lines up to the NEXT. TEXT, its text line with the advice, OUTPUT meant.
TEST(CheckTest, AdviceTypedInRunsAsMeant) {
  const std::vector<std::tuple<std::string, int, std::string>> cases = {
      {"10 x = 3\n20 Y = ABS(X - 9)\n30 print y\n", 2, "6\n"},
      {"10 x = 12\n20 y = abs(x - 9)\n30 print y\n", 2, "3\n"},
      {"10 c = 2\n20 ON C GOTO 100, 200\n30 end\n100 print 1\n110 end\n200 print 2\n", 2, "2\n"},
      {"10 for i = 10 to 1 step -3\n20 print i\n30 next i\n", 1, "10\n7\n4\n1\n"},
      {"10 FOR K = 4 TO 12 STEP 4\n20 print k\n30 next k\n", 1, "4\n8\n12\n"},
      {"10 n = 5\n20 for j = 1 to n step 2\n30 print j\n40 next j\n", 2, "1\n3\n5\n"},
      {"10 i = 3\n20 for j = i*i to 20 step i\n30 print j\n40 next j\n", 2, "9\n12\n15\n18\n"}};
  const std::regex quoted("'([^']*)'");
  const std::regex countUp("'(for ([a-z]) = 0 to [^']*)' and use '([^']*)' where");
  for (const auto& [text, line, output] : cases) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size(); at = text.find('\n', at) + 1)
      lines.push_back(text.substr(at, text.find('\n', at) - at));
    std::string advice;
    for (const Diagnostic& diagnostic : checkProgram(text)) {
      const std::size_t write = diagnostic.message.find("write");
      if (diagnostic.line == line && write != std::string::npos)
        advice = diagnostic.message.substr(write);
    }
    std::string& changed = lines[static_cast<std::size_t>(line - 1)];
    const std::string number = changed.substr(0, changed.find(' '));
    std::smatch m;
    if (std::regex_search(advice, m, countUp)) {
      changed = number + " " + m.str(1);
      const std::regex variable("\\b" + m.str(2) + "\\b");
      for (std::size_t i = static_cast<std::size_t>(line);
           i < lines.size() && lines[i].find("next") == std::string::npos; ++i)
        lines[i] = std::regex_replace(lines[i], variable, m.str(3));
    } else {
      std::vector<std::string> written;
      for (std::sregex_iterator q(advice.begin(), advice.end(), quoted), end; q != end; ++q)
        written.push_back((*q)[1]);
      ASSERT_FALSE(written.empty()) << advice;
      changed = number + " " + written[0];
      for (std::size_t i = 1; i < written.size(); ++i) {
        lines.insert(lines.begin() + line - 1 + static_cast<std::ptrdiff_t>(i),
                     std::to_string(std::stoi(number) + static_cast<int>(i)) + " " + written[i]);
      }
    }
    std::string typed;
    for (const std::string& each : lines)
      typed += each + "\n";
    EXPECT_EQ(testing::runProgram(typed), output) << text << advice << "\n" << typed;
  }
}

// Hostile megabytes: each is checked in linear time (a quadratic walk would take minutes),
// and every warning stands on a line and column of the text.
TEST(CheckTest, ChecksAnyTextQuickly) {
  constexpr std::size_t kMegabyte = 1 << 20;
  std::mt19937 generator(17);
  std::string noise(kMegabyte, ' ');
  for (char& c : noise)
    c = static_cast<char>(1 + generator() % 255);
  std::vector<std::string> texts = {noise, "x = " + std::string(kMegabyte, '('),
                                    repeat("1 ", kMegabyte / 2), repeat("for i\n", kMegabyte / 6),
                                    repeat("x = 5 +\n", kMegabyte / 8)};
  for (const char c : {'7', '"', 'x', 'A', ' ', '\n'})
    texts.emplace_back(kMegabyte, c);
  for (const std::string& text : texts) {
    const auto lines = std::count(text.begin(), text.end(), '\n') + 1;
    for (const Diagnostic& diagnostic : checkProgram(text)) {
      ASSERT_TRUE(diagnostic.line >= 1 && diagnostic.line <= lines && diagnostic.column >= 1)
          << ::testing::PrintToString(text.substr(0, 20));
    }
  }
}

// The count at the end of a check, and the count of each name when there are more than ten.
TEST(CheckTest, CountsWarningsLikeACompiler) {
  EXPECT_EQ(formatSummary(checkProgram("10 end")), "");
  EXPECT_EQ(formatSummary(checkProgram("x = 200")), "1 warning generated.\n");
  EXPECT_EQ(formatSummary(checkProgram(repeat("PRINT\n", 10))), "10 warnings generated.\n");
  EXPECT_EQ(formatSummary(checkProgram(repeat("x = 200\n", 2) + repeat("PRINT\n", 10))),
            "12 warnings generated.\n  10 keyword-case\n   2 value-range\n");
}

TEST(CheckTest, FormatsLikeACompiler) {
  const std::vector<Diagnostic> diagnostics =
      checkProgram(std::string("10 goto 75\r\n\0goto 1", 18));
  ASSERT_EQ(diagnostics.size(), 3U);  // a carriage return ends no line: '\r' is a stray word
  EXPECT_EQ(formatDiagnostic(diagnostics[0], "a.bas"),
            "a.bas:1:9: warning: no line is numbered 75: the run ends here [missing-line]");
  EXPECT_EQ(formatDiagnostic(diagnostics[1], ""),
            "1:11: warning: '\\x0d' after 'goto 75' never runs [rest-of-line]");
  EXPECT_EQ(formatDiagnostic(diagnostics[2], ""),  // what follows a NUL byte is lost
            "2:1: warning: a NUL byte ends the text for a run: nothing after it ever runs "
            "[nul-byte]");
}

// The programs that come with the project: the demo, the fuzzer's seeds and the README's.
TEST(CheckTest, ShippedProgramsCheckClean) {
  std::vector<std::string> programs = {kDemoProgram};
  const std::filesystem::path source = LINEBASIC_SOURCE_DIR;
  for (const auto& seed : std::filesystem::directory_iterator(source / "fuzz" / "seeds"))
    programs.push_back(readFile(seed.path()));
  const std::string readme = readFile(source / "README.md");
  for (auto start = readme.find("```basic\n"); start != std::string::npos;
       start = readme.find("```basic\n", start + 1)) {
    const auto body = start + 9;
    programs.push_back(readme.substr(body, readme.find("```", body) - body));
  }
  EXPECT_GE(programs.size(), 5U);
  for (const std::string& program : programs)
    EXPECT_EQ(check(program, true), "") << program;
}

}  // namespace
}  // namespace linebasic

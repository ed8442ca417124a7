// The checker: each warning where a run goes astray, once, at the first wrong byte; nothing
// on the programs the project ships.
#include "check/check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>

#include "app/demo_program.h"
#include "interpreter/interpreter.h"
#include "test_support.h"

namespace linebasic {
namespace {

using testing::readFile;
using testing::repeat;

// "LINE:COLUMN [NAME]" for each warning, separated by spaces.
std::string check(const std::string& text) {
  std::string found;
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    found += (found.empty() ? "" : " ") + std::to_string(diagnostic.line) + ":" +
             std::to_string(diagnostic.column) + " [" + std::string(diagnostic.name) + "]";
  }
  return found;
}

TEST(CheckTest, WarnsAtTheFirstWrongByte) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"10 PRINT \"HELLO\"\n20 pRINT", "1:4 [keyword-case] 2:4 [keyword-case]"},
      {"print(x)\nif x then\tend\ngosub100",
       "1:1 [keyword-glued] 2:6 [keyword-glued] "
       "3:1 [keyword-glued]"},
      {"rem count the lines\nfor i = 1 to 9 step 2\nnext i\nif ab then end\ninput a",
       "1:1 [unknown-word] 2:16 [unknown-word] 4:4 [unknown-word] 5:1 [unknown-word]"},
      {"x = -3\nprint +1\nx = 2 * -3", "1:5 [unary-sign] 2:7 [unary-sign] 3:9 [unary-sign]"},
      {"if a <= b then end\nif a <> b then end\nx == 1\nif a=>b then end",
       "1:6 [operator-pair] 2:6 [operator-pair] 3:3 [operator-pair] 4:5 [operator-pair]"},
      {"if x < 3 print 1\nif x THEN end", "1:10 [missing-then] 2:6 [keyword-case]"},
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
       "1:13 [rest-of-line] 2:7 [rest-of-line] 3:7 [rest-of-line] 4:8 [rest-of-line] "
       "5:9 [rest-of-line] 6:7 [rest-of-line] 7:5 [unknown-word]"},
      {"for i = 1 to 2 print 7\nnext i 7", "1:16 [rest-of-line] 2:8 [rest-of-line]"},
      {"Hello\nif x then 100\ncall 100\n\"abc\"\nx = 1 else end\n 10 x = 1\n",
       "1:1 [stray-token] 2:11 [stray-token] 3:1 [stray-token] 4:1 [stray-token] "
       "5:7 [rest-of-line]"},
      {" x = 1\n  10 end\n", "1:1 [stray-token]"},
      {" 10 print 1\n", ""},
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
       "1:11 [print-item] 2:8 [print-item] 3:16 [unknown-word]"},
      {"print \"a\nb\"\nx = 1 +\"a\nb\" 2", "1:7 [unclosed-literal] 3:8 [unclosed-literal]"},
      {"next i\nfor i = 1 to 2\nnext i\nfor j = 1 to 2\nnext i",
       "1:1 [next-without-for] "
       "4:1 [for-without-next]"},
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
       ""}};
  for (const auto& [text, warnings] : cases)
    EXPECT_EQ(check(text), warnings) << ::testing::PrintToString(text);
}

// The message of the first warning: what the run does, and what to write instead.
TEST(CheckTest, SaysWhatTheRunDoes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" x = 1",
       "a blank at the very start of the text joins ' x' into one word, which the run "
       "skips: remove the blank"},
      {"if x then 100", "'100' starts no statement: the run skips it; to jump, write 'goto 100'"},
      {"call 100",
       "'call' starts no statement: the run skips it, and the number after it; "
       "write 'gosub' to call a subroutine"},
      {"\"a\"", "'\"a\"' starts no statement: the run skips it; write 'print' before a literal"},
      {"Hello\x01\\World and more",
       "'Hello\\x01\\\\World' starts no statement: the run skips it; "
       "variables and keywords are lower case"},
      {"x = 1 :y",
       "':' separates no statements: the run steps over it and runs what follows; "
       "put each statement on a line of its own"},
      {"print (1)",
       "an item that starts with '(' ends the PRINT list: the run steps over it and "
       "runs what follows as statements; start the item with '0+('"},
      {"rem",
       "'rem' is no keyword, and a variable has one letter: the run reads 'r' as a variable and "
       "scans the rest again; there are no comments, and the run reads the words after it as "
       "statements"},
      // Causes before symptoms.
      {"if l(0) < 1 then end",
       "there are no arrays or functions: 'l(' is the variable 'l', then '('; IF needs 'then' "
       "after its condition: the run steps over '(' in its place"},
      {"a$ = \"yes\"",
       "there are no string variables: 'a$' is the variable 'a', then '$'; LET needs '=' after "
       "its variable: the run steps over '$' in its place"},
      {"print:print",
       "'print' is no keyword when ':' follows it: the run reads its letters as variables; ':' "
       "separates no statements, so put each statement on a line of its own"},
      {"print 1:goto 9",
       "':' separates no statements: put each statement on a line of its own; ':goto' ends the "
       "PRINT list, since an item starts with a literal, a variable, a number, ',' or ';': the "
       "run steps over it and runs what follows as statements"},
      {"if a and b then end",
       "'and' is no keyword, and a variable has one letter: the run reads 'a' as a variable and "
       "scans the rest again; there is no AND: nest the IFs, as in 'if a = 1 then if b = 2 then "
       "...'"},
      {"x = sqr(2)",
       "'sqr' is no keyword, and a variable has one letter: the run reads 's' as a variable and "
       "scans the rest again; there are no functions or arrays"},
      {"print x1",
       "'x1' is no variable, and a variable is one letter: the run reads 'x' as a "
       "variable, then '1'"},
      {"print \"a\" x",
       "'x' follows the item before it with no ',' or ';' between them: PRINT writes the two "
       "back to back; put ';' between them, or ',' for a space"},
      {"20 end\n10 end",
       "line 10 comes after line 20: lines run in the order they are written, not by number (a "
       "jump finds the first line numbered 10, scanning from the top)"},
      // Literals that run across lines, and lines read by the line above.
      {"print \"a\n10 x\n20 y\n30 z\"",
       "the literal has no closing '\"' on its line: it runs on to line 30, column 5, so the "
       "run skips lines 10 to 20 and the start of line 30"},
      {"10 print \"a\n\n20 b\n",
       "the literal has no closing '\"': it takes in the rest of the text, so the run skips "
       "text lines 2 to 3"},
      {"10 goto 20\n15 print \"a\n20 end\n30 print \"",
       "no line is numbered 20: the run ends here; the line that starts with 20 is inside the "
       "literal that opens on line 15"},
      {"10 b\n20 print 1\n",
       "LET needs '=' after its variable: the run steps over the line-feed in its place; the "
       "line reads on into line 20: its number is read as a value, 'print' is stepped over as "
       "the end of a statement, and the rest of it is skipped"},
      {"10 x = 5 +\n20 print x\n",
       "an operand is missing at the end of the line: the run reads the line-feed as 0 and goes "
       "on into the next line; the line reads on into line 20: its number is stepped over, and "
       "the rest of it runs as written"},
      {"10 next\n20 x = 1",
       "NEXT needs a variable a to z, not the line-feed: it does nothing; the line reads on "
       "into line 20: its number is stepped over, and the rest of it runs as written"},
      {"10 x = 1 : y\n20 print",
       "':' separates no statements: the run steps over it and runs what follows; put each "
       "statement on a line of its own; the line reads on into line 20: its number is read as "
       "a value, 'print' is stepped over as the end of a statement, and nothing else of it runs"},
      {"10 b\n20 print a\n30 end",
       "LET needs '=' after its variable: the run steps over the line-feed in its place; the "
       "line reads on into line 20: its number is read as a value, 'print' is stepped over as "
       "the end of a statement, and the rest of it, from 'a' on, reads on into line 30 in turn"},
      {"10 b\n20 print 1 : x = 3\n",
       "LET needs '=' after its variable: the run steps over the line-feed in its place; the "
       "line reads on into line 20: its number is read as a value, 'print' is stepped over as "
       "the end of a statement, and the run goes on from 'x' in the middle of it"},
      {"10 if x\n20 if y then print 1 else end",
       "IF needs 'then' after its condition: the run steps over the line-feed in its place; "
       "the line reads on into line 20: when the condition is false, the run skips it too"},
      {"10 if x\n20 print 1 else end",
       "IF needs 'then' after its condition: the run steps over the line-feed in its place; "
       "the line reads on into line 20: when the condition is false, the run skips it up to "
       "its ELSE"},
      {"print \"" + repeat("\xE2\x9C\x93", 14) + "\"",
       "PRINT writes only the first 40 bytes of a literal; this one has 42, and a character "
       "other than ASCII takes 2 to 4 bytes, so the cut may split one"},
      {"DIM a(3)",
       "'DIM' starts no statement: the run skips it; variables and keywords are lower case; "
       "there are no arrays"},
      {"\xEF\xBB\xBF"
       "10 end",
       "'\\xef\\xbb\\xbf10' starts no statement: the run skips it, since it begins with a UTF-8 "
       "byte-order mark, which the run reads as part of a word: save the file without it"},
      {"x = RETURN",
       "'RETURN' is no keyword, since keywords are lower case: the run skips this "
       "word (an expression reads it as 0); write 'return'"},
      {"gOTO",
       "'gOTO' is no keyword, since keywords are lower case: the run reads its first "
       "letter as a variable; write 'goto'"},
      {"x = " + std::string(30, '9'),
       "'" + std::string(24, '9') +
           "...' has 30 digits, and a "
           "number has at most 4: the run reads no number here (an "
           "expression reads it as 0, and no jump finds a line by it)"}};
  for (const auto& [text, message] : cases) {
    const std::vector<Diagnostic> diagnostics = checkProgram(text);
    ASSERT_FALSE(diagnostics.empty()) << text;
    EXPECT_EQ(diagnostics[0].message, message) << text;
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
  ASSERT_EQ(diagnostics.size(), 2U);  // a carriage return ends no line: '\r' is a stray word
  EXPECT_EQ(formatDiagnostic(diagnostics[0], "a.bas"),
            "a.bas:1:9: warning: no line is numbered 75: the run ends here [missing-line]");
  EXPECT_EQ(formatDiagnostic(diagnostics[1], ""),
            "1:11: warning: '\\x0d' after 'goto 75' never runs [rest-of-line]");
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
    EXPECT_EQ(check(program), "") << program;
}

}  // namespace
}  // namespace linebasic

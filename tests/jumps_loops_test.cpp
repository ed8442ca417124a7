// GOTO, GOSUB/RETURN, FOR/NEXT and the line searches they jump with.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "app/demo_program.h"
#include "reference_search.h"
#include "test_support.h"

namespace linebasic {
namespace {

using testing::ProgramCase;
using testing::ProgramTest;
using testing::runProgram;

INSTANTIATE_TEST_SUITE_P(
    Goto, ProgramTest,
    ::testing::Values(ProgramCase{"10 goto 30\n20 print 2\n30 print 3\n", "3\n"},
                      ProgramCase{"10 x = x + 1\n20 if x < 3 then goto 10\n30 print x\n", "3\n"},
                      ProgramCase{" 10 x = x + 1\n20 if x < 3 then goto 10\n30 print x\n", "3\n"},
                      ProgramCase{"10 print 1\n20 goto 99\n30 print 3\n", "1\n"},
                      ProgramCase{"10 goto 99999999999\n20 print 2\n", ""},
                      ProgramCase{"10 goto 50\n20 print 50\n30 print 3\n", ""},
                      ProgramCase{"10 goto 20\n20 print 1\n30 end\n20 print 2\n", "1\n"},
                      ProgramCase{"10 print 1\n20 goto\n30 print 3\n", "1\n3\n"},
                      ProgramCase{"10 goto x\n0 print 0\n20 print 2\n", "0\n2\n"},
                      ProgramCase{"10 if 1 then goto 30 else print 2\n20 print 20\n30 print 3\n",
                                  "3\n"},
                      // Empty lines in front of the target do not hide it, however many there are.
                      ProgramCase{"10 goto 30\n20 print 2\n\n30 print 3\n", "3\n"},
                      ProgramCase{"10 goto 30\n20 print 2\n\n\n30 print 3\n", "3\n"},
                      ProgramCase{"10 goto 30\n20 print 2\n\n\n\n30 print 3\n", "3\n"},
                      ProgramCase{"10 goto 30\n\n30 print 3\n", "3\n"}));

INSTANTIATE_TEST_SUITE_P(
    GosubReturn, ProgramTest,
    ::testing::Values(
        ProgramCase{"10 gosub 100\n20 print 2\n30 end\n100 print 1\n110 return\n", "1\n2\n"},
        ProgramCase{"10 gosub 100\n20 print 9\n30 end\n100 gosub 200\n110 print 1\n120 return\n"
                    "200 print 2\n210 return\n",
                    "2\n1\n9\n"},
        ProgramCase{"10 return\n20 print 1\n", "1\n"},
        ProgramCase{"10 gosub 500\n20 print 1\n", ""},
        // More than one token after the target: RETURN still comes back to the next line.
        ProgramCase{"10 gosub 100 9 9\n20 print c\n30 end\n100 c = c + 1\n"
                    "110 if c < 3 then return\n120 goto 20\n",
                    "1\n"},
        ProgramCase{"10 if 1 then gosub 100 else print 9\n20 print 20\n30 end\n100 print 100\n"
                    "110 return\n",
                    "100\n20\n"},
        ProgramCase{"10 gosub 100 x\n20 print 7\n30 end\n100 print 5\n110 return\n", "5\n7\n"},
        ProgramCase{"10 goto 30\n20 print 1\n25 return\n30 gosub 20", "1\n"}));

// Each call nests one deeper until ten are active; the eleventh is dropped, so d stops at 10,
// and each of the ten returns prints it once more.
TEST(GosubTest, TheEleventhNestedCallIsDropped) {
  const std::string text =
      "10 gosub 100\n20 print \"done\"\n30 end\n"
      "100 d = d + 1\n110 if d < 12 then gosub 100\n120 print d\n130 return\n";
  std::string expected;
  for (int i = 0; i < kGosubDepthMax; ++i)
    expected += "10\n";
  EXPECT_EQ(runProgram(text), expected + "done\n");
}

INSTANTIATE_TEST_SUITE_P(
    ForNext, ProgramTest,
    ::testing::Values(
        ProgramCase{"10 x = 0\n20 for i = 1 to 10\n30 x=x+i\n40 print x\n50 next i\n",
                    "1\n3\n6\n10\n15\n21\n28\n36\n45\n55\n"},
        ProgramCase{"10 for i = 1 to 2\n20 for j = 1 to 2\n30 print i;j\n40 next j\n50 next i\n",
                    "11\n12\n21\n22\n"},
        ProgramCase{"10 for i = 5 to 3\n20 print i\n30 next i\n40 print i\n", "5\n6\n"},
        ProgramCase{"10 for i = 1 to 10\n20 next i\n30 print i\n", "11\n"},
        ProgramCase{"10 for a = 1 to 3\n20 print a\n30 next a\n", "1\n2\n3\n"},
        ProgramCase{"10 for i = 1 to 3 step 1\n20 print i\n30 next i\n", "1\n2\n3\n"},
        ProgramCase{"10 for i = 1 to 3\n20 print i\n30 next j\n40 print 9\n", "1\n9\n"},
        ProgramCase{"10 next i\n20 print 1\n", "1\n"},
        // A fifth nested loop records no frame: its body runs once per pass of the fourth.
        ProgramCase{"10 for a = 1 to 2\n20 for b = 1 to 2\n30 for c = 1 to 2\n"
                    "40 for d = 1 to 2\n50 for e = 1 to 2\n60 n = n + 1\n70 next e\n"
                    "80 next d\n90 next c\n100 next b\n110 next a\n120 print n\n",
                    "16\n"},
        // Loops left by GOTO keep their frames and count against the four.
        ProgramCase{"10 for a = 1 to 1\n20 goto 30\n30 for b = 1 to 1\n40 goto 50\n"
                    "50 for c = 1 to 1\n60 goto 70\n70 for d = 1 to 1\n80 goto 90\n"
                    "90 for e = 1 to 3\n100 print e\n110 next e\n",
                    "1\n"},
        // The 8-bit control variable ends its loop when it wraps from 127 to -128.
        ProgramCase{"10 for i = 120 to 127\n20 n = n + 1\n30 next i\n40 print n, i\n", "8 -128\n"},
        ProgramCase{"10 for i = 1 to 200\n20 n = n + 1\n30 next i\n40 print n, i\n", "127 -128\n"},
        ProgramCase{"10 for i = 127 to 5\n20 n = n + 1\n30 next i\n40 print n, i\n", "1 -128\n"},
        // Without a letter to count, the loop records nothing and its NEXT does nothing.
        ProgramCase{"10 for 5 = 1 to 3\n20 print 1\n30 next 5\n40 print 2\n", "1\n2\n"},
        ProgramCase{"10 for i = 1 to 2\n20 for X = 1 to 3\n30 print i\n40 next X\n50 next i\n",
                    "1\n2\n"}));

TEST(LineSearchTest, StopsWhereTheRunLoopResumes) {
  Interpreter interpreter;
  interpreter.load(kDemoProgram);

  interpreter.jumpToLine(100);
  EXPECT_EQ(interpreter.token, TokenKind::Number);
  EXPECT_EQ(std::string(interpreter.tokenStart, 3), "100");
  EXPECT_EQ(interpreter.lineOrdinal, 8);

  interpreter.jumpToOrdinal(1);
  EXPECT_EQ(interpreter.token, TokenKind::Newline);
  EXPECT_EQ(interpreter.tokenStart, kDemoProgram + 27);
  EXPECT_EQ(interpreter.lineOrdinal, 1);

  interpreter.jumpToOrdinal(0);
  EXPECT_EQ(interpreter.tokenStart, kDemoProgram);
  EXPECT_EQ(interpreter.token, TokenKind::Number);

  interpreter.jumpToLine(10);
  EXPECT_EQ(interpreter.tokenStart, kDemoProgram);
}

TEST(LineSearchTest, MissingTargetsEndAtTheEndOfText) {
  Interpreter interpreter;
  interpreter.load(kDemoProgram);
  interpreter.jumpToLine(70);
  EXPECT_TRUE(interpreter.isDone());
  interpreter.jumpToOrdinal(11);
  EXPECT_TRUE(interpreter.isDone());
  EXPECT_EQ(interpreter.lineOrdinal, 10);

  interpreter.load("");
  interpreter.jumpToLine(0);
  EXPECT_TRUE(interpreter.isDone());
}

TEST(LineSearchTest, JumpsLeaveVariablesStacksAndEndAlone) {
  Interpreter interpreter;
  interpreter.load(kDemoProgram);
  interpreter.storeVariable('x', 7);
  interpreter.gosubDepth = 2;
  interpreter.forDepth = 1;
  interpreter.jumpToLine(50);
  interpreter.jumpToOrdinal(3);
  EXPECT_EQ(interpreter.variableValue('x'), 7);
  EXPECT_EQ(interpreter.gosubDepth, 2);
  EXPECT_EQ(interpreter.forDepth, 1);
  EXPECT_EQ(interpreter.endReached, 0);
}

// Random texts built from pieces that stress token boundaries: literals across lines, words
// that swallow quotes, long digit runs, blanks, carriage returns, bytes from 128 up.
std::string randomText(std::mt19937& generator) {
  static const std::vector<std::string> kPieces = {
      "10 ", "20",   "30 ",      "7",   "12345",  "0010",  " ",  "  ",      "\t",
      "\n",  "\n\n", "\n \n",    "x",   "print ", "for ",  "to", "goto 20", "next",
      "ab",  "\"",   "\"a\nb\"", "x\"", "A\"b",   "Hello", "\r", "\r\n",    "=",
      "+",   "(",    "\xC3\xA9", "if1", "end",    "e\t",   "A\t"};
  std::string text;
  const auto pieces = generator() % 40;
  for (std::uint32_t i = 0; i < pieces; ++i)
    text += kPieces[generator() % kPieces.size()];
  return text;
}

// The searches pass lines byte by byte; they must stop exactly where the token-by-token
// search stops, with the same token and line count.
TEST(LineSearchTest, AgreesWithTheTokenByTokenSearch) {
  std::mt19937 generator(7);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = randomText(generator);
    for (const std::int32_t n : {-1, 0, 1, 2, 3, 4, 5, 7, 8, 10, 20, 30, 12345}) {
      Interpreter expected;
      Interpreter actual;
      expected.load(text.c_str());
      actual.load(text.c_str());
      reference::jumpToOrdinal(expected, n);
      actual.jumpToOrdinal(n);
      ASSERT_TRUE(reference::samePosition(expected, actual))
          << "jumpToOrdinal(" << n << ") in " << ::testing::PrintToString(text);
      reference::jumpToLine(expected, n);
      actual.jumpToLine(n);
      ASSERT_TRUE(reference::samePosition(expected, actual))
          << "jumpToLine(" << n << ") in " << ::testing::PrintToString(text);
    }
  }
}

TEST(DemoTest, PrintsTheSubroutineTheSumsAndEnd) {
  EXPECT_EQ(runProgram(kDemoProgram), "subroutine\n1\n3\n6\n10\n15\n21\n28\n36\n45\n55\nend\n");
}

// The sample programs under tests/programs: each NAME.bas prints exactly NAME.out.
std::vector<std::string> samplePrograms() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(LINEBASIC_PROGRAMS_DIR)) {
    if (entry.path().extension() == ".bas") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SampleProgramTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SampleProgramTest, PrintsItsExpectedOutput) {
  const std::filesystem::path dir = LINEBASIC_PROGRAMS_DIR;
  const std::string expected = readFile(dir / (GetParam() + ".out"));
  ASSERT_FALSE(expected.empty()) << "missing " << GetParam() << ".out";
  EXPECT_EQ(runProgram(readFile(dir / (GetParam() + ".bas"))), expected);
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleProgramTest, ::testing::ValuesIn(samplePrograms()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace linebasic

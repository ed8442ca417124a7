// LET, PRINT and IF: program text in, exact standard output out.
#include <string>

#include "test_support.h"

namespace linebasic {
namespace {

using testing::ProgramCase;
using testing::ProgramTest;
using testing::runProgram;

INSTANTIATE_TEST_SUITE_P(
    Let, ProgramTest,
    ::testing::Values(
        ProgramCase{"x = 5\nprint x", "5\n"}, ProgramCase{"let x = 5\nprint x", "5\n"},
        ProgramCase{"x=x+1\nx=x+1\nprint x", "2\n"}, ProgramCase{"x = 200\nprint x", "-56\n"},
        ProgramCase{"x = 300\nprint x", "44\n"}, ProgramCase{"x = -1\nprint x", "0\n"},
        ProgramCase{"x = 1<2\nprint x", "1\n"}, ProgramCase{"x = 5/0\nprint x", "0\n"},
        ProgramCase{"x = 5/\n\nprint x", "0\n"}, ProgramCase{"let 5 = 3\nprint 1", "1\n"},
        ProgramCase{"x 7 8\nprint x", "8\n"}, ProgramCase{"a = 1\nz = 26\nprint a, z", "1 26\n"}));

INSTANTIATE_TEST_SUITE_P(
    Print, ProgramTest,
    ::testing::Values(
        ProgramCase{"print \"a\",\"b\";3", "a b3\n"}, ProgramCase{"print", "\n"},
        ProgramCase{"print\nprint", "\n\n"}, ProgramCase{"print \"\"", "\n"},
        ProgramCase{"print 1 2", "12\n"}, ProgramCase{"x = 1\ny = 2\nprint x y", "12\n"},
        ProgramCase{"print \"x\" 1", "x1\n"}, ProgramCase{"print 1,\nprint 2;", "1 \n2\n"},
        ProgramCase{"print ,,;", "  \n"}, ProgramCase{"print 1+2*3", "7\n"},
        ProgramCase{"print (1+2)\nprint 4", "\n4\n"}, ProgramCase{"print 1<2", "1\n"},
        ProgramCase{"print -5", "\n"}, ProgramCase{"print 9999*9999", "99980001\n"},
        ProgramCase{"print 0-8*8*8*8*8*8*8*8*8*8*2", "-2147483648\n"},
        ProgramCase{"print 7%0", "0\n"}, ProgramCase{"print \"a\nb\"", "a\nb\n"},
        ProgramCase{"print \"%d %s\"", "%d %s\n"},
        ProgramCase{"print \"" + std::string(50, 'z') + "\"", std::string(40, 'z') + "\n"},
        ProgramCase{"print \"" + std::string(40, 'y') + "\"", std::string(40, 'y') + "\n"},
        ProgramCase{"print \"abc", "abc\n"},
        ProgramCase{"print \"" + std::string(50, 'w'), std::string(40, 'w') + "\n"},
        ProgramCase{"10 print 1\n20 Hello World\n30 print 2\n", "1\n2\n"},
        ProgramCase{"call 100\nprint 1", "1\n"}, ProgramCase{"PRINT 1\nPrint 2", ""}));

INSTANTIATE_TEST_SUITE_P(
    If, ProgramTest,
    ::testing::Values(
        ProgramCase{"if 1 then print 1\nprint 3", "1\n3\n"},
        ProgramCase{"if 0 then print 1\nprint 3", "3\n"}, ProgramCase{"if 0 then print 1", ""},
        ProgramCase{"if 0 then print 1 else print 2", "2\n"},
        ProgramCase{"x = 3\nif x = 3 then print \"yes\"", "yes\n"},
        ProgramCase{"if 5 <= 7 then print 1 else print 2", "2\n"},
        ProgramCase{"if 1 then 100\nprint 5", "5\n"},
        ProgramCase{"if 1 then end else print 2\nprint 3", ""},
        ProgramCase{"if 0 then print 1 else end\nprint 3", ""},
        // The token right after THEN is never taken for the ELSE of a false IF.
        ProgramCase{"if 0 then else print 2\nprint 3", "3\n"},
        // The first ELSE of a false IF wins; what follows its statement runs as usual.
        ProgramCase{"if 0 then print 1 else print 2 else print 3", "2\n3\n"},
        // A false IF takes its own ELSE: each IF after THEN owns the next one.
        ProgramCase{
            "x = 2\nif x > 3 then if x > 4 then print 5 else print 4 else print 3\nprint 9\n",
            "3\n9\n"},
        ProgramCase{"if 0 then if 1 then print 5 else print 4\nprint 9\n", "9\n"},
        ProgramCase{"if 0 then print 1 else if 0 then print 2 else print 3", "3\n"},
        // An inner IF whose condition runs over a line-feed judges the line it ends on.
        ProgramCase{"10 if 1 then if 1+\n20 print 1 else print 2\n", "1\n"}));

// A true IF does not run its ELSE part.
INSTANTIATE_TEST_SUITE_P(
    TrueIfSkipsElse, ProgramTest,
    ::testing::Values(
        ProgramCase{"if 1 then print 1 else print 0", "1\n"},
        ProgramCase{"if 1 then print 1 else print 0\nprint 9", "1\n9\n"},
        ProgramCase{"if 1 then x = 1 else x = 2\nprint x", "1\n"},
        ProgramCase{"if 1 then if 0 then print 1 else print 2", "2\n"},
        ProgramCase{"if 1 then if 1 then print 1 else print 2 else print 3", "1\n"},
        ProgramCase{"if 1 then else print 2\nprint 3", "3\n"},
        ProgramCase{"if 1 then print \"else\" else print 0", "else\n"},
        ProgramCase{"x = 1\nif x = 1 then print 10 else if x = 2 then print 20 else print 30",
                    "10\n"},
        ProgramCase{"x = 2\nif x = 1 then print 10 else if x = 2 then print 20 else print 30",
                    "20\n"},
        ProgramCase{"x = 3\nif x = 1 then print 10 else if x = 2 then print 20 else print 30",
                    "30\n"}));

std::string ifChain(int length, const std::string& statement) {
  std::string text;
  for (int i = 0; i < length; ++i)
    text += "if 1 then ";
  return text + statement;
}

// The first kNestingDepthMax IFs of a chain run their statements; the next one leaves its
// statement current, and the enclosing IFs, whose line holds an ELSE, skip the rest of it.
TEST(IfTest, ChainsRunTheirStatementUpToTheDepthLimit) {
  EXPECT_EQ(runProgram(ifChain(kNestingDepthMax, "print 1 else print 2")), "1\n");
  EXPECT_EQ(runProgram(ifChain(kNestingDepthMax + 1, "print 1 else print 2")), "");
  EXPECT_EQ(runProgram(ifChain(kNestingDepthMax + 1, "print 1")), "1\n");
}

TEST(IfTest, AChainOfTenThousandIfsFinishes) {
  EXPECT_EQ(runProgram(ifChain(10'000, "print 7\nprint 8")), "7\n8\n");
  EXPECT_EQ(runProgram(ifChain(10'000, "print 7 else print 6\nprint 8")), "8\n");
}

}  // namespace
}  // namespace linebasic

// The statements, run as whole programs (program text in, exact standard output out), and the
// line searches they jump with.
#include <random>
#include <string>

#include "reference_search.h"
#include "test_support.h"

namespace linebasic {
namespace {

using testing::repeat;

// Program text in, exact standard output out. For IF: a true IF skips its ELSE part; a false IF
// takes its own ELSE, never the token after THEN.
TEST(StatementTest, ProgramsPrintExactly) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"x = 200\ny = 300\nlet z = 26\nprint x, y, z", "-56 44 26\n"},
      {"x = -1\na = 1<2\nlet 5 = 3\nb 7 8\nprint x a b", "018\n"},
      {"print \"a\",\"b\";3\nprint\nprint \"\" 1,\nprint 2;", "a b3\n\n1 \n2\n"},
      {"print (1+2)\nprint 1<2\nprint -5\nprint \"a\nb\" \"%d\"", "\n1\n\na\nb%d\n"},
      {"10 print 1\n20 Hello World\n30 PRINT 2\n40 call 100\n50 print \"abc", "1\nabc\n"},
      {"if 1 then print 1 else print 0\nif 0 then print 1 else print 2\nif 0 then print 3\nprint 4",
       "1\n2\n4\n"},
      {"if 0 then else print 2\nprint 3", "3\n"},
      {"if 0 then print 1 else print 2 else print 3", "2\n3\n"},
      {"10 if 1 then goto 30 else print 2\n20 print 20\n30 print 3\n", "3\n"},
      {"if 1 then if 1 then print 1 else print 2 else print 3", "1\n"},
      {"if 1 then if 0 then print 1 else print 2 else print 3", "2\n"},
      {"x = 2\nif x > 3 then if x > 4 then print 5 else print 4 else print 3\nprint 9", "3\n9\n"},
      {"if 0 then if 1 then if 1 then print 1 else print 2 else print 3 else print 4", "4\n"},
      {"10 if 1 then if 1+\n20 print 1 else print 2\n", "1\n"},
      // IFs run as the statement of another IF nest 256 deep, and a long chain stays linear.
      {repeat("if 1 then ", kNestingDepthMax) + "print 1 else print 2", "1\n"},
      {repeat("if 1 then ", kNestingDepthMax + 1) + "print 1 else print 2", ""},
      {repeat("if 1 then ", 10'000) + "print 7\nprint 8", "7\n8\n"},
      {"10 print 1\n20 goto\n30 print 3\n40 goto 99\n50 print 5", "1\n3\n"},
      {"10 goto 30\n\n30 goto 50\n\n\n50 goto 70\n\n\n\n70 print 7", "7\n"},
      {"gosub 100\nprint 9\nend\n100 gosub 200\nprint 1\nreturn\n200 print 2\nreturn", "2\n1\n9\n"},
      {"10 return\n20 print 1\n30 gosub 500\n40 print 2\n", "1\n"},
      // More after the target: RETURN still comes back to the next line.
      {"if 1 then gosub 100 else print 9\ngosub 100 x\nprint 7\nend\n100 print 5\nreturn",
       "5\n5\n7\n"},
      {"10 goto 30\n20 print 1\n25 return\n30 gosub 20", "1\n"},
      // Ten calls nest; the eleventh is dropped, with the token after its target.
      {"10 gosub 10 print 7", ""},
      {"gosub 100\nend\n100 d = d + 1\nif d < 12 then gosub 100\nprint d\nprint \"" +
           std::string(50, 'z') + "\"\nreturn",
       repeat("10\n" + std::string(kLiteralMax, 'z') + "\n", kGosubDepthMax)},
      {"for i = 1 to 2\nfor j = 1 to 2\nprint i;j\nnext j\nnext i", "11\n12\n21\n22\n"},
      {"for i = 5 to 3\nprint i\nnext j\nnext i\nprint i", "5\n6\n"},
      {"10 next x print 1\n20 next a\n30 print a", "0\n"},
      // FOR steps over the token after its limit; NEXT still comes back to the next line.
      {"10 for i = 1 to 2 print 7\n20 print i\n30 next i\n", "1\n2\n"},
      // The 8-bit control variable ends its loop when it wraps from 127 to -128.
      {"10 for i = 120 to 200\n20 n = n + 1\n30 next i\n40 print n, i\n", "8 -128\n"},
      // Without a letter to count, the loop records nothing and its NEXT does nothing.
      {"10 for 5 = 1 to 3\n20 print 1\n30 next 5\n40 print 2\n", "1\n2\n"},
      // A fifth nested loop records no frame: its body runs once per pass of the fourth.
      {"for a = 1 to 2\nfor b = 1 to 2\nfor c = 1 to 2\nfor d = 1 to 2\nfor e = 1 to 2\n"
       "n = n + 1\nnext e\nnext d\nnext c\nnext b\nnext a\nprint n",
       "16\n"}};
  for (const auto& [text, output] : cases)
    EXPECT_EQ(testing::runProgram(text), output) << ::testing::PrintToString(text);
}

// The line searches read the text a block at a time; on any text they must stop exactly where a
// search made token by token stops, with the same token and line count.
TEST(StatementTest, LineSearchesAgreeWithTheTokenByTokenSearch) {
  // Bytes that matter to a search: digits, blanks, line-feeds, quotes, words that start with
  // a letter or with anything else, delimiters, carriage returns, bytes from 128 up.
  const std::string alphabet = "01290 \t\n\n\n\"xpA\r=(\xC3";
  std::mt19937 generator(7);
  for (int round = 0; round < 5000; ++round) {
    std::string text;
    for (auto length = generator() % 200; length > 0; --length)
      text += alphabet[generator() % alphabet.size()];
    Interpreter expected;
    Interpreter actual;
    expected.load(text.c_str());
    actual.load(text.c_str());
    for (const std::int32_t n : {-1, 0, 1, 2, 3, 9, 10, 12, 20, 92, 109, 1290}) {
      reference::jumpToOrdinal(expected, n);
      actual.jumpToOrdinal(n);
      const bool ordinalsAgree = reference::samePosition(expected, actual);
      reference::jumpToLine(expected, n);
      actual.jumpToLine(n);
      ASSERT_TRUE(ordinalsAgree && reference::samePosition(expected, actual))
          << n << " in " << ::testing::PrintToString(text);
    }
  }
}

}  // namespace
}  // namespace linebasic

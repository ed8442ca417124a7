// The scanner: token kinds and boundaries, line counting, and the decimal conversion.
#include "scanner/scanner.h"

#include <climits>
#include <random>
#include <string>
#include <vector>

#include "test_support.h"

namespace linebasic {
namespace {

using testing::scanTokens;
using Tokens = std::vector<std::string>;

struct ScanCase {
  std::string text;
  Tokens tokens;
};

void PrintTo(const ScanCase& scanCase, std::ostream* os) {
  *os << ::testing::PrintToString(scanCase.text);
}

class ScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTest, ProducesTokens) {
  EXPECT_EQ(scanTokens(GetParam().text), GetParam().tokens) << "text: " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedScans, ScanTest,
    ::testing::Values(
        ScanCase{
            "x=x+i   ",
            {"Variable[x]", "Equals[=]", "Variable[x]", "Plus[+]", "Variable[i]", "EndOfText"}},
        ScanCase{"print x", {"Print[print]", "Variable[x]", "EndOfText"}},
        ScanCase{"print(1)",
                 {"Variable[p]", "Variable[r]", "Variable[i]", "Variable[n]", "Variable[t]",
                  "LeftParen[(]", "Number[1]", "RightParen[)]", "EndOfText"}},
        ScanCase{"10print", {"Number[10]", "Print[print]", "EndOfText"}},
        ScanCase{"Hello World", {"Invalid[Hello]", "Invalid[World]", "EndOfText"}},
        ScanCase{"Hello\tWorld", {"Invalid[Hello\tWorld]", "EndOfText"}},
        ScanCase{"print\tx",
                 {"Variable[p]", "Variable[r]", "Variable[i]", "Variable[n]", "Variable[t]",
                  "Variable[x]", "EndOfText"}},
        ScanCase{"xyz", {"Variable[x]", "Variable[y]", "Variable[z]", "EndOfText"}},
        ScanCase{"xprint y", {"Variable[x]", "Print[print]", "Variable[y]", "EndOfText"}},
        ScanCase{"ifx", {"Variable[i]", "Variable[f]", "Variable[x]", "EndOfText"}},
        ScanCase{"<= <>", {"Less[<]", "Equals[=]", "Less[<]", "Greater[>]", "EndOfText"}},
        ScanCase{",;+-&|*/%()<>=\n",
                 {"Comma[,]", "Semicolon[;]", "Plus[+]", "Minus[-]", "Ampersand[&]", "Bar[|]",
                  "Star[*]", "Slash[/]", "Percent[%]", "LeftParen[(]", "RightParen[)]", "Less[<]",
                  "Greater[>]", "Equals[=]", "Newline[\n]", "EndOfText"}},
        ScanCase{"let print if then else for to next goto gosub return call end",
                 {"Let[let]", "Print[print]", "If[if]", "Then[then]", "Else[else]", "For[for]",
                  "To[to]", "Next[next]", "Goto[goto]", "Gosub[gosub]", "Return[return]",
                  "Call[call]", "End[end]", "EndOfText"}},
        ScanCase{"Print PRINT", {"Invalid[Print]", "Invalid[PRINT]", "EndOfText"}}));

// A keyword needs the whole word: it ends only at a space, a line-feed or the end of text.
INSTANTIATE_TEST_SUITE_P(
    KeywordBoundaries, ScanTest,
    ::testing::Values(
        ScanCase{"end\nend", {"End[end]", "Newline[\n]", "End[end]", "EndOfText"}},
        ScanCase{"end\r",
                 {"Variable[e]", "Variable[n]", "Variable[d]", "Invalid[\r]", "EndOfText"}},
        ScanCase{"end\"a\"",
                 {"Variable[e]", "Variable[n]", "Variable[d]", "String[\"a\"]", "EndOfText"}},
        ScanCase{"end)",
                 {"Variable[e]", "Variable[n]", "Variable[d]", "RightParen[)]", "EndOfText"}},
        ScanCase{"return\r\n",
                 {"Variable[r]", "Variable[e]", "Variable[t]", "Variable[u]", "Variable[r]",
                  "Variable[n]", "Invalid[\r]", "Newline[\n]", "EndOfText"}},
        ScanCase{"x\r\n", {"Variable[x]", "Invalid[\r]", "Newline[\n]", "EndOfText"}}));

// Numbers have at most four digits; a longer run is one Invalid token and the scan goes on
// after it.
INSTANTIATE_TEST_SUITE_P(
    DigitRuns, ScanTest,
    ::testing::Values(ScanCase{"1234 x", {"Number[1234]", "Variable[x]", "EndOfText"}},
                      ScanCase{"12345 x", {"Invalid[12345]", "Variable[x]", "EndOfText"}},
                      ScanCase{"x 1234567890123+1",
                               {"Variable[x]", "Invalid[1234567890123]", "Plus[+]", "Number[1]",
                                "EndOfText"}},
                      ScanCase{"99999", {"Invalid[99999]", "EndOfText"}},
                      ScanCase{"12ab", {"Number[12]", "Variable[a]", "Variable[b]", "EndOfText"}}));

// Literals span line-feeds and have no escapes; an unterminated one runs to the end of text.
INSTANTIATE_TEST_SUITE_P(
    Literals, ScanTest,
    ::testing::Values(ScanCase{"\"a b\"x", {"String[\"a b\"]", "Variable[x]", "EndOfText"}},
                      ScanCase{"\"\"", {"String[\"\"]", "EndOfText"}},
                      ScanCase{"\"a\nb\"\n", {"String[\"a\nb\"]", "Newline[\n]", "EndOfText"}},
                      ScanCase{"x \"abc", {"Variable[x]", "String[\"abc]", "EndOfText"}},
                      ScanCase{"\"", {"String[\"]", "EndOfText"}}));

// Blanks are skipped only in front of a token by advance; load scans the first character as is.
INSTANTIATE_TEST_SUITE_P(
    LeadingBlanks, ScanTest,
    ::testing::Values(
        ScanCase{" 10 print", {"Invalid[ 10]", "Print[print]", "EndOfText"}},
        ScanCase{"  10 print", {"Invalid[ ]", "Number[10]", "Print[print]", "EndOfText"}},
        ScanCase{"\tprint x", {"Invalid[\tprint]", "Variable[x]", "EndOfText"}},
        ScanCase{"x \t y", {"Variable[x]", "Variable[y]", "EndOfText"}},
        ScanCase{"\xC3\xA9t\xC3\xA9 x\xC3\xA9",
                 {"Invalid[\xC3\xA9t\xC3\xA9]", "Variable[x]", "Invalid[\xC3\xA9]", "EndOfText"}}));

TEST(ScannerTest, CountsOnlyNewlineTokensThatAdvanceReaches) {
  // The leading line-feed is scanned by load and not counted; the one in the literal is part
  // of the String token.
  Interpreter interpreter;
  interpreter.load("\nx\n\"a\nb\"\n\n");
  while (interpreter.token != TokenKind::EndOfText)
    interpreter.advance();
  EXPECT_EQ(interpreter.lineOrdinal, 3);
}

TEST(ScannerTest, AdvanceAtTheEndOfTextChangesNothing) {
  Interpreter interpreter;
  interpreter.load("x\n");
  interpreter.advance();
  interpreter.advance();
  ASSERT_EQ(interpreter.token, TokenKind::EndOfText);
  const char* const end = interpreter.tokenStart;
  for (int i = 0; i < 3; ++i)
    interpreter.advance();
  EXPECT_EQ(interpreter.tokenStart, end);
  EXPECT_EQ(interpreter.token, TokenKind::EndOfText);
  EXPECT_EQ(interpreter.lineOrdinal, 1);
}

TEST(ScannerTest, DelimiterTableHoldsExactlyFifteenCharacters) {
  int delimiters = 0;
  for (int byte = 0; byte < 256; ++byte) {
    if (classifyDelimiter(static_cast<char>(byte)) != TokenKind::Invalid) ++delimiters;
  }
  EXPECT_EQ(delimiters, 15);
  EXPECT_EQ(classifyDelimiter('\n'), TokenKind::Newline);
  EXPECT_EQ(classifyDelimiter('='), TokenKind::Equals);
  EXPECT_EQ(classifyDelimiter('\r'), TokenKind::Invalid);
  EXPECT_EQ(classifyDelimiter('\t'), TokenKind::Invalid);
}

TEST(ScannerTest, TokenKindsKeepTheirNumbers) {
  EXPECT_EQ(static_cast<int>(TokenKind::Let), 5);
  EXPECT_EQ(static_cast<int>(TokenKind::End), 17);
  EXPECT_EQ(static_cast<int>(TokenKind::Comma), 18);
  EXPECT_EQ(static_cast<int>(TokenKind::Newline), 32);
}

// The scanner skips the keyword table for words that cannot be keywords; the words it keeps
// must still be exactly the table's. Every lower-case word of up to seven letters drawn from
// the keywords' letters is classified as a plain table lookup would classify it.
TEST(ScannerTest, RecognisesExactlyTheWordsOfTheKeywordTable) {
  const KeywordTable table = makeKeywordTable();
  ASSERT_EQ(table.size(), kKeywords.size());
  const std::string letters = "acdefghilnoprstuxb";
  std::mt19937 generator(11);
  Interpreter interpreter;
  for (int round = 0; round < 20000; ++round) {
    std::string word(1 + generator() % 7, ' ');
    for (char& c : word)
      c = letters[generator() % letters.size()];
    if (round < static_cast<int>(kKeywords.size())) word = std::string(kKeywords[round].text);
    const std::string text = word + " ";
    interpreter.load(text.c_str());
    const auto entry = table.find(word);
    EXPECT_EQ(interpreter.token, entry != table.end() ? entry->second : TokenKind::Variable)
        << word;
  }
}

TEST(DecimalValueTest, ReadsLikeAtoiAndSaturates) {
  const std::vector<std::pair<const char*, std::int32_t>> cases = {
      {"42", 42},
      {"0042x", 42},
      {"  -17x", -17},
      {"+5", 5},
      {"\n\t\v\f\r 30 print", 30},
      {"abc", 0},
      {"-", 0},
      {"+-1", 0},
      {"", 0},
      {"2147483647", INT_MAX},
      {"2147483648", INT_MAX},
      {"-2147483648", INT_MIN},
      {"-2147483649", INT_MIN},
      {"99999999999999999999999", INT_MAX},
      {"-99999999999999999999999", INT_MIN},
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(decimalValue(text), value) << text;
}

}  // namespace
}  // namespace linebasic

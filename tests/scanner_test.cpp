// The scanner: where tokens begin and end, what kind they are, and how lines are counted.
#include "scanner/scanner.h"

#include <random>
#include <string>
#include <tuple>

#include "scanner/line_feeds.h"
#include "test_support.h"

namespace linebasic {
namespace {

// The tokens of `text`, the first as load scans it and then one per advance, each followed by
// a space; an Invalid token is shown in angle brackets.
std::string scan(const std::string& text) {
  Interpreter interpreter;
  interpreter.load(text.c_str());
  std::string tokens;
  // Every token is at least one character long, so the scan ends within this many steps.
  for (std::size_t step = 0; step <= text.size() && interpreter.token != TokenKind::EndOfText;
       ++step) {
    const std::string token(interpreter.tokenStart, interpreter.tokenEnd);
    tokens += interpreter.token == TokenKind::Invalid ? "<" + token + "> " : token + " ";
    interpreter.advance();
  }
  return tokens;
}

TEST(ScannerTest, CutsTokens) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"x=x+i   ", "x = x + i "},
      {"print(1) 10print gosubs gasub", "p r i n t ( 1 ) 10 print g o s u b s g a s u b "},
      {"Hello\tWorld Print xprint y", "<Hello\tWorld> <Print> x print y "},
      {",;+-&|*/%()<>=\n", ", ; + - & | * / % ( ) < > = \n "},
      {"let print if then else for to next goto gosub return call end",
       "let print if then else for to next goto gosub return call end "},
      {"end\r\nx\r", "e n d <\r> \n x <\r> "},
      {"1234 12345 12ab 9999999999x", "1234 <12345> 12 a b <9999999999> x "},
      {"\"a b\"x \"a\nb\"\n\"abc", "\"a b\" x \"a\nb\" \n \"abc "},
      {" 10 print", "< 10> print "},
      {"  10 x \t y", "< > 10 x y "},
      {"\tprint x\xC3\xA9", "<\tprint> x <\xC3\xA9> "},
  };
  for (const auto& [text, tokens] : cases)
    EXPECT_EQ(scan(text), tokens) << ::testing::PrintToString(text);
}

// Each case reads "text : value"; values beyond 32 bits saturate.
TEST(ScannerTest, ConvertsDecimalTextLikeAtoi) {
  for (const std::string row :
       {"  -17x : -17", "+5 : 5", "\t\v\f\r\n 30 : 30", "+-1 : 0", "x1 : 0",
        "2147483648 : 2147483647", "-2147483649 : -2147483648", "99999999999 : 2147483647"}) {
    const auto colon = row.rfind(" : ");
    EXPECT_EQ(decimalValue(row.substr(0, colon).c_str()), std::stoi(row.substr(colon + 3))) << row;
  }
}

// Every line-feed search this processor supports must find what the portable one finds. The
// texts are made of bytes that hide nothing, each replaced by any byte at all one time in 48.
TEST(ScannerTest, LineFeedSearchesAgree) {
  std::string plain;
  for (int byte = 0; byte < 256; ++byte) {
    if (!hidesLineFeeds(static_cast<char>(byte))) plain += static_cast<char>(byte);
  }
  std::mt19937 generator(11);
  for (int round = 0; round < 20000; ++round) {
    std::string text(generator() % 300, ' ');
    for (char& byte : text) {
      const auto pick = generator();
      byte = pick % 48 == 0 ? static_cast<char>(pick >> 8) : plain[(pick >> 8) % plain.size()];
    }
    const char* const start = text.c_str();
    const char* const end = start + text.size();
    const char* const from = start + generator() % (text.size() + 1);
    const auto count = static_cast<std::int32_t>(generator() % 12 + 1);
    const std::int32_t n = std::array{0, 1, 2, 9, 10, 12, 20, 1270, -5}[round % 9];
    const auto find = [&](const detail::LineFeedSearch& search) {
      const LineFeedStop line = search.lineFeed(start, from, end, count);
      const LineFeedStop numbered = search.numberedLine(start, from, end, n);
      return std::tuple(line.at, line.previousEnd, line.lineFeedsBefore, numbered.at,
                        numbered.previousEnd, numbered.lineFeedsBefore);
    };
    for (const detail::LineFeedSearch& search : detail::lineFeedSearches()) {
      ASSERT_EQ(find(search), find(detail::lineFeedSearches().front()))
          << ::testing::PrintToString(text) << " from " << from - start;
    }
  }
}

}  // namespace
}  // namespace linebasic

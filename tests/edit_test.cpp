// Renumbering: exact texts for a few requests, the refusals by the text line they name, and
// for generated programs that every renumbering accepted runs exactly as the original.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "edit/renumber.h"
#include "interpreter/interpreter.h"

namespace linebasic {
namespace {

struct TextCase {
  const char* program;
  RenumberRequest request;
  const char* renumbered;
};

TEST(Renumber, RewritesLineNumbersAndTheTargetsOfJumpsThatRun) {
  const TextCase cases[] = {
      {"5 gosub 30\n7 if a < 3 then goto 5 else goto 30\n30  PRINT \"goto 5\"\n31 return\n",
       {},
       "10 gosub 30\n20 if a < 3 then goto 10 else goto 30\n30  PRINT \"goto 5\"\n40 return\n"},
      {"1 x = 1\n2 goto 1\n3 goto 400\n400 end\n",
       {100, 5, 2, 3},
       "1 x = 1\n100 goto 1\n105 goto 400\n400 end\n"},
      {"0010 goto 10\n20 x = 5 + (\n30 print x\n",
       {1, 1, 0, 9999},
       "1 goto 1\n2 x = 5 + (\n3 print x\n"},
      {"10 print \"a\n\"\n20 gosub 10\n", {7, 7, 0, 9999}, "7 print \"a\n\"\n14 gosub 7\n"},
      {"30 for i = 1 to 3\n10 next i\n", {}, "10 for i = 1 to 3\n20 next i\n"},
  };
  for (const TextCase& c : cases) {
    const Renumbered result = renumber(c.program, c.request);
    ASSERT_TRUE(result.ok()) << c.program << result.refusal->message;
    EXPECT_EQ(result.text, c.renumbered) << c.program;
  }
  const Renumbered counted = renumber(cases[0].program, {});
  EXPECT_EQ(counted.targets, 1);
  EXPECT_EQ(counted.numbers,
            (std::map<std::int32_t, std::int32_t>{{5, 10}, {7, 20}, {30, 30}, {31, 40}}));
}

struct RefusalCase {
  const char* program;
  RenumberRequest request;
  int textLine;  // of the refusal; 0 for the request itself
};

TEST(Renumber, RefusesWhereTheRunWouldChange) {
  const RenumberRequest all{100, 100, 0, 9999};
  const RefusalCase cases[] = {
      {"10 goto x\n20 end\n", all, 1},                    // computed
      {"10 gosub 20 + a\n20 return\n", all, 1},           // not one number
      {"10 goto\n20 end\n", all, 1},                      // reads the next line's number
      {"10 goto 020\n20 end\n", all, 1},                  // leading zero
      {"10 goto +20\n20 end\n", all, 1},                  // sign
      {"10 goto 30\n20 end\n", all, 1},                   // no such line
      {"10 print 5 +\n20 print 1\n", all, 1},             // reads 20 as an operand
      {"10 let x\n20 print x\n", all, 1},                 // reads 20 as the value
      {"10 print \"a\n20 b\"\n30 end\n", all, 2},         // a line number inside a literal
      {"10 print 1\n20 end\n10 end\n", all, 3},           // used twice
      {"10 end\n12345 end\n", all, 2},                    // five digits
      {"1 end\n2 end\n", {9990, 10, 0, 9999}, 2},         // past 9999
      {"10 end\n20 end\n30 end\n", {30, 10, 10, 10}, 1},  // takes line 30's number
      {"10 end\n20 end\n30 end\n", {35, 1, 20, 20}, 2},   // above line 30
      {"print 1\n20 goto 0\n", all, 2},                   // 0 finds the top of the text
      {"-5 end\n10 goto 10\n", all, 1},                   // the top converts to -5
      {"10 end\n", {10, 0, 0, 9999}, 0},                  // no step
  };
  for (const RefusalCase& c : cases) {
    const Renumbered result = renumber(c.program, c.request);
    ASSERT_FALSE(result.ok()) << c.program << " gave\n" << result.text;
    EXPECT_EQ(result.refusal->textLine, c.textLine) << c.program << result.refusal->message;
    EXPECT_TRUE(result.text.empty());
  }
  EXPECT_EQ(renumber("10 goto 30\n20 end\n", all).refusal->message,
            "no line is numbered 30: the run ends at this GOTO, and renumbering would keep a "
            "number no line has or give it to a line; write the number of a line that is there");
}

// What a run of `text` does within a bound on steps: what it prints, its variables, whether
// it ended.
std::string runOf(const std::string& text, int maxSteps) {
  Interpreter interpreter;
  std::string printed;
  interpreter.output = {[](void* context, std::string_view piece) {
                          static_cast<std::string*>(context)->append(piece);
                        },
                        &printed};
  interpreter.load(text.c_str());
  for (int step = 0; step < maxSteps && !interpreter.isDone(); ++step)
    interpreter.executeStatement();
  printed += interpreter.isDone() ? "|ended|" : "|bound|";
  for (const std::int8_t value : interpreter.variables)
    printed += std::to_string(value) + ",";
  return printed;
}

// A program of random statements on lines numbered at random, in random order. Jumps mostly
// go to lines that are there; now and then a statement is one renumbering must refuse or
// must see through (a computed target, a statement that reads on into the next line).
std::string generatedProgram(std::mt19937& random) {
  const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  std::vector<int> numbers;
  const int count = 2 + pick(9);
  while (static_cast<int>(numbers.size()) < count) {
    const int n = 1 + pick(400);
    if (std::find(numbers.begin(), numbers.end(), n) == numbers.end()) numbers.push_back(n);
  }
  if (pick(3) != 0) std::sort(numbers.begin(), numbers.end());
  const auto target = [&] {
    return std::to_string(pick(20) == 0 ? 1 + pick(400) : numbers[pick(count)]);
  };
  const auto variable = [&] { return std::string(1, "abij"[pick(4)]); };
  const auto operand = [&] { return pick(2) == 0 ? variable() : std::to_string(pick(5)); };
  const auto simple = [&]() -> std::string {
    switch (pick(7)) {
      case 0:
        return "print " + operand() + " + " + operand();
      case 1:
        return "print \"at\"; " + variable() + ", " + operand();
      case 2:
        return variable() + " = " + operand() + " + " + operand();
      case 3:
        return "let " + variable() + " = " + operand() + " * 2";
      case 4:
        return "goto " + target();
      case 5:
        return "gosub " + target();
      default:
        return pick(2) == 0 ? "return" : "end";
    }
  };
  std::string text;
  for (const int n : numbers) {
    text += std::to_string(n) + " ";
    switch (pick(12)) {
      case 0:
        text += "for " + variable() + " = 1 to " + std::to_string(1 + pick(3));
        break;
      case 1:
        text += "next " + variable();
        break;
      case 2:
        text += "if " + operand() + " < " + operand() + " then " + simple();
        break;
      case 3:
        text += "if " + operand() + " = " + operand() + " then " + simple() + " else " + simple();
        break;
      case 4: {  // now and then, what renumbering must refuse or see through
        const char* const odd[] = {"goto",         "print 5 +",   "let b",
                                   "x = (",        "gosub 1 + 1", "goto a",
                                   "for i = 1 to", "print \"no",  "if a then"};
        text += pick(4) == 0 ? odd[pick(9)] : simple();
        break;
      }
      default:
        text += simple();
    }
    text += "\n";
  }
  return text;
}

// A digit run stands where each line number and jump target stood; nothing else changed.
std::string withoutDigits(std::string text) {
  std::erase_if(text, [](char c) { return c >= '0' && c <= '9'; });
  return text;
}

TEST(Renumber, EveryRenumberingAcceptedRunsAsTheOriginal) {
  std::mt19937 random(20240607);
  int accepted = 0;
  constexpr int kPrograms = 3000;
  constexpr int kSteps = 500;
  for (int program = 0; program < kPrograms; ++program) {
    const std::string text = generatedProgram(random);
    RenumberRequest request{static_cast<std::int32_t>(random() % 100),
                            static_cast<std::int32_t>(1 + random() % 30), 0, kLineNumberMax};
    if (random() % 3 == 0) {
      request.first = static_cast<std::int32_t>(random() % 200);
      request.last = request.first + static_cast<std::int32_t>(random() % 200);
      request.start = request.first + static_cast<std::int32_t>(random() % 5);
      request.step = 1;
    }
    const Renumbered result = renumber(text, request);
    if (!result.ok()) continue;
    ++accepted;
    ASSERT_EQ(runOf(result.text, kSteps), runOf(text, kSteps)) << text << "became\n" << result.text;
    ASSERT_EQ(withoutDigits(result.text), withoutDigits(text)) << text;
  }
  EXPECT_GT(accepted, kPrograms / 4);
  EXPECT_LT(accepted, kPrograms * 9 / 10);
}

}  // namespace
}  // namespace linebasic

// The public C API and its C++ header, used as a host uses them: through include/linebasic/
// alone.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "linebasic/linebasic.h"
#include "linebasic/linebasic.hpp"

namespace {

void appendTo(void* context, const char* text, size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

// A machine whose output collects in `printed`.
struct Host {
  linebasic_machine* machine = linebasic_new();
  std::string printed;
  Host() { linebasic_set_output(machine, appendTo, &printed); }
  ~Host() { linebasic_delete(machine); }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;
  linebasic_status load(const std::string& text) {
    return linebasic_load(machine, text.data(), text.size());
  }
};

// Drives `text` by a script of words and tells what each run or step did: "b20" sets a
// breakpoint at line 20, "t2" one at text line 2, "u20" and "v2" clear them, "c" clears all,
// "r" runs, "r5" runs at most 5 steps, "s" steps, "x=7" sets x. A run or step is told as its
// status's letter, where the run stands ("20/2": number and text line), what it printed, in
// brackets, and at the end a missed jump in braces. "k2" goes back 2 lines and "K" back to a
// breakpoint, "g9" to step 9 of the run's past, told as a stop with the bytes printed up to
// there in parentheses.
std::string drive(const std::string& text, const std::string& script) {
  Host host;
  EXPECT_EQ(host.load(text), LINEBASIC_OK);
  std::string told;
  std::size_t at = 0;
  while (at < script.size()) {
    const std::size_t end = std::min(script.find(' ', at), script.size());
    const std::string word = script.substr(at, end - at);
    at = end + 1;
    const int number = word.size() > 1 && word[1] != '=' ? std::stoi(word.substr(1)) : 0;
    linebasic_status status = LINEBASIC_OK;
    if (word[0] == 'b') status = linebasic_set_breakpoint(host.machine, number);
    if (word[0] == 't') status = linebasic_set_text_breakpoint(host.machine, number);
    if (word[0] == 'u') status = linebasic_clear_breakpoint(host.machine, number);
    if (word[0] == 'v') status = linebasic_clear_text_breakpoint(host.machine, number);
    if (word == "c") linebasic_clear_breakpoints(host.machine);
    if (word[1] == '=')
      status = linebasic_set_variable(host.machine, word[0], std::stoi(word.substr(2)));
    if (status != LINEBASIC_OK)
      told += std::string("!") + linebasic_error_message(host.machine) + " ";
    if (word[0] == 'k' || word[0] == 'K' || word[0] == 'g') {
      status = word[0] == 'k' ? linebasic_back(host.machine, static_cast<uint64_t>(number), nullptr)
               : word[0] == 'g' ? linebasic_go_to_step(host.machine, static_cast<uint64_t>(number))
                                : linebasic_back_to_breakpoint(host.machine);
      linebasic_place place{};
      linebasic_where(host.machine, &place);
      told += std::string(1, "EBSLIT"[status]) + std::to_string(place.number) + "/" +
              std::to_string(place.text_line) + "(" +
              std::to_string(linebasic_printed(host.machine)) + ") ";
    }
    if (word[0] != 'r' && word[0] != 's') continue;
    host.printed.clear();
    const uint64_t bound = number == 0 ? LINEBASIC_UNBOUNDED : static_cast<uint64_t>(number);
    status =
        word[0] == 'r' ? linebasic_run(host.machine, bound) : linebasic_step(host.machine, bound);
    linebasic_place place{};
    linebasic_where(host.machine, &place);
    const std::string missed = linebasic_missed_jump(host.machine);
    told += std::string(1, "EBSLIT"[status]) + std::to_string(place.number) + "/" +
            std::to_string(place.text_line) + "[" + host.printed + "]" +
            (missed.empty() ? "" : "{" + missed + "}") + " ";
  }
  return told.substr(0, told.size() - 1);
}

TEST(ApiTest, RunsStopsAndTellsWhere) {
  const std::string loop = "10 for i = 1 to 3\n20 print i\n30 next i\n40 print \"done\"\n";
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {loop, "r", "E40/4[1\n2\n3\ndone\n]"},
      {loop, "b20 r r u20 r", "B20/2[] B20/2[1\n] E40/4[2\n3\ndone\n]"},
      {loop, "s s s", "S20/2[] S30/3[1\n] S20/2[]"},
      {loop, "r3", "L20/2[]"},
      {loop, "b20 r i=3 r", "B20/2[] E40/4[3\ndone\n]"},
      // Back in time, from the end or a stop, and forward again as the run went.
      {loop, "r k2 s r", "E40/4[1\n2\n3\ndone\n] S30/3(6) S40/4[] E40/4[done\n]"},
      {loop, "b20 r r K r", "B20/2[] B20/2[1\n] B20/2(0) B20/2[1\n]"},
      {loop, "b20 r i=3 r k1 u20 r", "B20/2[] E40/4[3\ndone\n] S40/4(2) E40/4[done\n]"},
      {loop, "s s s g2 g1000", "S20/2[] S30/3[1\n] S20/2[] S20/2(0) S20/2(2)"},
      {loop, "b25 b20 u30",
       "!no line is numbered 25: no run stops there !no breakpoint is set at line 30"},
      // Numbers that repeat: a breakpoint by number stops at each, the text line says which.
      {"10 print 1\n10 print 2\n", "b10 r r r", "B10/1[] B10/2[1\n] E10/2[2\n]"},
      {"10 print 1\n20 print 2\n", "t1 t3 r", "!the program has no text line 3 B10/1[]"},
      {"10 print 1\n20 print 2\n", "t1 t2 v1 v1 r c r",
       "!no breakpoint is set at text line 1 B20/2[1\n] E20/2[2\n]"},
      {"10 print 1\n20 print 2\n", "t1 t2 c r", "E20/2[1\n2\n]"},
      // A line a literal runs on over starts no line: no run stops there.
      {"10 print \"a\n20 print 2\n30 print \"b\n", "b20",
       "!no line is numbered 20: no run stops there"},
      // Once ended, a run stays ended; where names the statement that ended it.
      {"10 print 1\n20 goto 75\n30 print 3\n", "r r",
       "E20/2[1\n]{no line is numbered 75} E20/2[]{no line is numbered 75}"},
      {"10 end\n20 goto 75\n", "r", "E10/1[]"},
      {"10 goto 75\n", "s", "E10/1[]{no line is numbered 75}"},
      {"", "r", "E-1/0[]"},
  };
  for (const auto& [text, script, expected] : cases)
    EXPECT_EQ(drive(text, script), expected) << text << " | " << script;
}

TEST(ApiTest, LoadCopiesTheTextAndStartsAfresh) {
  Host host;
  std::string text = "10 x = x + 1\n20 print x\n";
  ASSERT_EQ(host.load(text), LINEBASIC_OK);
  text.assign(text.size(), '?');  // the host's copy may change at once
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  ASSERT_EQ(linebasic_restart(host.machine), LINEBASIC_OK);
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  ASSERT_EQ(host.load("10 x = x + 1\n20 print x\n"), LINEBASIC_OK);
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  const std::string again = "20 print x\n";
  linebasic_load_keeping_variables(host.machine, again.data(), again.size());
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  EXPECT_EQ(host.printed, "1\n1\n1\n1\n");
  // A NUL byte ends the text, as it ends a run.
  ASSERT_EQ(linebasic_load(host.machine, "10 print 5\n\0 20 print 6\n", 22), LINEBASIC_OK);
  linebasic_run(host.machine, LINEBASIC_UNBOUNDED);
  EXPECT_EQ(host.printed, "1\n1\n1\n1\n5\n");
}

TEST(ApiTest, FailuresAreStatusesWithAMessage) {
  Host host;
  EXPECT_EQ(linebasic_run(host.machine, 10), LINEBASIC_NO_PROGRAM);
  EXPECT_STREQ(linebasic_error_message(host.machine),
               "no program is loaded: call linebasic_load first");
  linebasic_place place{};
  EXPECT_EQ(linebasic_where(host.machine, &place), LINEBASIC_NO_PROGRAM);
  EXPECT_STREQ(linebasic_missed_jump(host.machine), "");
  EXPECT_EQ(linebasic_set_variable(host.machine, 'A', 1), LINEBASIC_BAD_ARGUMENT);
  EXPECT_EQ(linebasic_load(host.machine, nullptr, 3), LINEBASIC_BAD_ARGUMENT);
  ASSERT_EQ(host.load("10 print 1\n"), LINEBASIC_OK);
  linebasic_set_text_limit(host.machine, 8);
  EXPECT_EQ(host.load("10 print 2\n"), LINEBASIC_TOO_LARGE);
  EXPECT_STREQ(linebasic_error_message(host.machine),
               "linebasic_load: the text is 11 bytes, more than the limit of 8");
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  EXPECT_EQ(host.printed, "1\n");  // the program loaded before stays
  EXPECT_STREQ(linebasic_error_message(nullptr), "the machine is NULL");
  EXPECT_EQ(linebasic_run(nullptr, 1), LINEBASIC_BAD_ARGUMENT);
}

TEST(ApiTest, OutputGoesToStandardOutputUntilSet) {
  linebasic_machine* machine = linebasic_new();
  const std::string text = "10 print 7, \"x\"\n";
  linebasic_load(machine, text.data(), text.size());
  ::testing::internal::CaptureStdout();
  linebasic_run(machine, LINEBASIC_UNBOUNDED);
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "7 x\n");
  linebasic_delete(machine);
}

TEST(ApiTest, VariablesAndCounts) {
  Host host;
  ASSERT_EQ(host.load("10 print 1\n20 x = 200\n"), LINEBASIC_OK);
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  EXPECT_EQ(linebasic_get_variable(host.machine, 'x'), -56);
  EXPECT_EQ(linebasic_get_variable(host.machine, '?'), 0);
  EXPECT_EQ(linebasic_set_variable(host.machine, 'z', 300), LINEBASIC_OK);
  EXPECT_EQ(linebasic_get_variable(host.machine, 'z'), 44);
  EXPECT_EQ(linebasic_statements(host.machine), 2U);  // PRINT and the assignment
  EXPECT_EQ(linebasic_steps(host.machine), 4U);       // and the two line numbers
  ASSERT_EQ(linebasic_restart(host.machine), LINEBASIC_OK);
  EXPECT_EQ(linebasic_statements(host.machine), 0U);
  EXPECT_EQ(linebasic_get_variable(host.machine, 'z'), 0);
}

TEST(ApiTest, BoundsAndStopRequests) {
  Host host;
  ASSERT_EQ(host.load("10 goto 10\n"), LINEBASIC_OK);
  EXPECT_EQ(linebasic_run(host.machine, 5'000'000), LINEBASIC_STEP_BOUND);
  EXPECT_EQ(linebasic_steps(host.machine), 5'000'000U);
  // A request made between runs stops the next one before its first step; a load drops it.
  linebasic_request_stop(host.machine);
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_INTERRUPTED);
  EXPECT_EQ(linebasic_steps(host.machine), 5'000'000U);
  linebasic_request_stop(host.machine);
  ASSERT_EQ(host.load("10 goto 10\n"), LINEBASIC_OK);
  EXPECT_EQ(linebasic_run(host.machine, 10), LINEBASIC_STEP_BOUND);
  linebasic_request_stop(host.machine);
  linebasic_cancel_stop(host.machine);
  EXPECT_EQ(linebasic_run(host.machine, 10), LINEBASIC_STEP_BOUND);
  // From another thread, while the run goes on.
  std::thread watchdog([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    linebasic_request_stop(host.machine);
  });
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_INTERRUPTED);
  watchdog.join();
  // By time, on a large text where a step bound says little of time.
  std::string large;
  for (int line = 1; line <= 9000; ++line)
    large += std::to_string(line) + " rem " + std::string(100, 'x') + "\n";
  large += "9999 goto 9000\n";
  ASSERT_EQ(host.load(large), LINEBASIC_OK);
  linebasic_set_time_limit(host.machine, 50);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(linebasic_run(host.machine, LINEBASIC_UNBOUNDED), LINEBASIC_TIME_BOUND);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
}

// An output function that takes its time counts against the time limit, which reads the clock
// after each piece; a deadline passed as the run stopped another way leaves no request behind.
TEST(ApiTest, TheTimeLimitCountsTheOutputsTime) {
  struct Slow {
    static void write(void* /*context*/, const char* /*text*/, size_t /*length*/) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  };
  linebasic_machine* machine = linebasic_new();
  linebasic_set_output(machine, Slow::write, nullptr);
  linebasic_set_time_limit(machine, 20);
  const std::string endless = "10 print 1\n20 goto 10\n";
  linebasic_load(machine, endless.data(), endless.size());
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(linebasic_run(machine, LINEBASIC_UNBOUNDED), LINEBASIC_TIME_BOUND);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(500));
  linebasic_set_time_limit(machine, 1);
  const std::string twoLines = "10 print 1\nx = 1\n";  // no number to skip before the break
  linebasic_load(machine, twoLines.data(), twoLines.size());
  linebasic_set_text_breakpoint(machine, 2);
  EXPECT_EQ(linebasic_run(machine, LINEBASIC_UNBOUNDED), LINEBASIC_BREAKPOINT);
  EXPECT_EQ(linebasic_run(machine, LINEBASIC_UNBOUNDED), LINEBASIC_ENDED);
  EXPECT_EQ(linebasic_get_variable(machine, 'x'), 1);
  EXPECT_EQ(linebasic_check(nullptr, 5, nullptr, nullptr), -1);
  linebasic_delete(machine);
}

TEST(ApiTest, TheCheckerReportsThroughACallback) {
  std::vector<std::string> seen;
  const std::string text = "10 PRINT 1\n20 goto 75\n";
  const long count = linebasic_check(
      text.data(), text.size(),
      [](void* context, const linebasic_warning* warning) {
        static_cast<std::vector<std::string>*>(context)->push_back(
            std::to_string(warning->text_line) + ":" + std::to_string(warning->column) + " " +
            warning->name +
            (warning->fix_text == nullptr
                 ? ""
                 : " " + std::to_string(warning->fix_offset) + "+" +
                       std::to_string(warning->fix_length) + "=" + warning->fix_text));
      },
      &seen);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(seen, (std::vector<std::string>{"1:4 keyword-case 3+5=print", "2:9 missing-line"}));
}

// Fixing and renumbering hand out a text, or why they refused: "!text line:column".
std::string edited(const std::string& text, int start = -1) {
  std::string told;
  const auto write = [](void* context, const char* piece, size_t length) {
    static_cast<std::string*>(context)->append(piece, length);
  };
  if (start < 0) {
    const long fixes = linebasic_fix(text.data(), text.size(), write, nullptr, &told);
    return told + "(" + std::to_string(fixes) + ")";
  }
  const auto refused = [](void* context, const linebasic_refusal* refusal) {
    *static_cast<std::string*>(context) +=
        "!" + std::to_string(refusal->text_line) + ":" + std::to_string(refusal->column);
  };
  const linebasic_status status =
      linebasic_renumber(text.data(), text.size(), start, 10, 0, 9999, write, refused, &told);
  EXPECT_EQ(status == LINEBASIC_REFUSED, told[0] == '!') << told;
  return told;
}

TEST(ApiTest, FixingAndRenumberingHandOutTheNewText) {
  const std::pair<std::string, std::string> cases[] = {
      {edited("10 PRINT 1\n20 x = -3\n"), "10 print 1\n20 x = 0 - 3\n(2)"},
      {edited("10 print 1\n"), "10 print 1\n(0)"},
      {edited("5 goto 7\n7 end\n", 100), "100 goto 110\n110 end\n"},
      {edited("5 goto x\n7 end\n", 100), "!1:8"},
      {edited("5 end\n", 10000), "!0:0"},
  };
  for (const auto& [told, expected] : cases)
    EXPECT_EQ(told, expected);
  const auto write = [](void*, const char*, size_t) {};
  EXPECT_EQ(linebasic_fix("1", 1, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(linebasic_renumber(nullptr, 1, 10, 10, 0, 9999, write, nullptr, nullptr),
            LINEBASIC_BAD_ARGUMENT);
}

TEST(ApiTest, TheVersionIsTheProjects) {
  EXPECT_STREQ(linebasic_version(), LINEBASIC_VERSION);
  EXPECT_EQ(std::to_string(LINEBASIC_VERSION_MAJOR) + "." +
                std::to_string(LINEBASIC_VERSION_MINOR) + "." +
                std::to_string(LINEBASIC_VERSION_PATCH),
            LINEBASIC_PROJECT_VERSION);
}

TEST(CppApiTest, OneCallRunsAndAMachineMoves) {
  const linebasic::Outcome done = linebasic::run("10 print 2\n20 goto 75\n");
  EXPECT_EQ(done.output, "2\n");
  EXPECT_EQ(done.status, linebasic::Status::Ended);
  EXPECT_EQ(done.place.number, 20);
  const linebasic::Outcome bounded = linebasic::run("10 goto 10\n", {.maxSteps = 7});
  EXPECT_EQ(bounded.status, linebasic::Status::StepBound);
  EXPECT_EQ(bounded.steps, 7U);

  linebasic::Machine first;
  std::string printed;
  first.setOutput([&printed](std::string_view text) { printed.append(text); });
  first.load("10 print 1\n20 print 2\n");
  first.setBreakpoint(20);
  EXPECT_EQ(first.run(), linebasic::Status::Breakpoint);
  linebasic::Machine moved = std::move(first);
  EXPECT_EQ(moved.run(), linebasic::Status::Ended);
  EXPECT_EQ(printed, "1\n2\n");
  EXPECT_TRUE(moved.ended());
  try {
    moved.setBreakpoint(30);
    ADD_FAILURE() << "a breakpoint on no line was set";
  } catch (const linebasic::Error& error) {
    EXPECT_EQ(error.status(), LINEBASIC_BAD_ARGUMENT);
    EXPECT_STREQ(error.what(), "no line is numbered 30: no run stops there");
  }
}

TEST(CppApiTest, FixesAndRenumbering) {
  const linebasic::Fixing fixing = linebasic::fixed("10 PRINT 1\n");
  EXPECT_EQ(fixing.text, "10 print 1\n");
  ASSERT_EQ(fixing.applied.size(), 1U);
  EXPECT_EQ(fixing.applied[0].fix->text, "print");
  EXPECT_FALSE(linebasic::warningsOf("10 goto 75\n")[0].fix);
  EXPECT_EQ(linebasic::renumbered("5 gosub 7\n7 return\n", 1, 1).text, "1 gosub 2\n2 return\n");
  const linebasic::Renumbering refused = linebasic::renumbered("5 gosub 9\n7 return\n");
  EXPECT_TRUE(refused.refused);
  EXPECT_EQ(refused.textLine, 1);
  EXPECT_EQ(refused.message.substr(0, 22), "no line is numbered 9:");
}

TEST(CppApiTest, AnOutputFunctionThatThrowsStopsTheRun) {
  linebasic::Machine machine;
  int calls = 0;
  machine.setOutput([&calls](std::string_view) {
    ++calls;
    throw std::runtime_error("the window is closed");
  });
  machine.load("10 print 1\n20 x = 1\n30 print 2\n");
  EXPECT_THROW(machine.run(), std::runtime_error);
  EXPECT_EQ(calls, 1);
  EXPECT_THROW(machine.run(), std::runtime_error);  // no stop was left behind: lines 20, 30 ran
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(machine.variable('x'), 1);
  linebasic::Machine other = std::move(machine);
  EXPECT_THROW(machine.run(), linebasic::Error);  // NOLINT(bugprone-use-after-move): on purpose
}

}  // namespace

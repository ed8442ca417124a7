// Run control and the output sink: where a run stops, what it has changed there, and that
// stopping never changes what a run prints.
#include <atomic>
#include <iterator>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "app/demo_program.h"
#include "debug/run_control.h"
#include "test_support.h"

namespace linebasic {
namespace {

void appendTo(void* context, std::string_view text) {
  static_cast<std::string*>(context)->append(text);
}

// An interpreter whose PRINT writes into `printed`.
struct CapturedRun {
  Interpreter interpreter;
  RunControl control{interpreter};
  std::string printed;
  CapturedRun() { interpreter.output = {appendTo, &printed}; }
};

// A stop as "B3{i1 x3}": the reason's letter, the line, and the variables that changed.
std::string describeStop(const RunControl& control, StopReason reason) {
  std::string text(1, "EBSLIW"[static_cast<int>(reason)]);
  if (const auto line = control.line()) text += std::to_string(*line);
  text += '{';
  for (const VariableChange& change : control.changes()) {
    if (text.back() != '{') text += ' ';
    text += change.name + std::to_string(change.after);
  }
  return text + '}';
}

constexpr char kLoop[] = "10 x = 0\n20 for i = 1 to 3\n30 x = x + i\n40 next i\n50 print x\n";

// Program, breakpoints, what is done ('r' resume, 's' step, 'b' resume for 3 statements)
// -> the stops, then what the run printed.
struct StopCase {
  const char* program;
  std::vector<int> breakpoints;
  const char* actions;
  const char* stops;
  const char* printed;
};

TEST(RunControlTest, StopsWhereAndHowItShould) {
  const StopCase cases[] = {
      {kLoop, {3}, "rrrr", "B3{i1} B3{i2 x1} B3{i3 x3} E{i4 x6}", "6\n"},
      {kLoop, {}, "ssssss", "S2{} S3{i1} S4{x1} S3{i2} S4{x3} S3{i3}", ""},
      {kLoop, {4}, "sr", "S2{} B4{i1 x1}", ""},     // a breakpoint on a stepped-over line
      {kLoop, {1, 5}, "rr", "B1{} B5{i4 x6}", ""},  // the first line counts as reached
      {kLoop, {}, "bbr", "L2{} L4{i1 x1} E{i4 x6}", "6\n"},
      {"10 goto 10\n", {1}, "rrr", "B1{} B1{} B1{}", ""},  // a jump to its own line
      {"10 gosub 30\n20 end\n30 y = 7\n40 return\n", {2, 3}, "rrr", "B3{} B2{y7} E{}", ""},
      {"print \"a\n20 b\"\n30 print 1\n", {2}, "r", "E{}", "a\n20 b\n1\n"},  // in a literal
      {"10 print 1\n\n\n40 print 2\n", {}, "ss", "S4{} E{}", "1\n2\n"},      // empty lines
      // LET reads line 2's number as its last token: the run reaches line 2 at its PRINT.
      {"10 x = 5 +\n20 print 1\n30 print x\n", {2}, "rr", "B2{x5} E{}", "1\n5\n"},
  };
  for (const StopCase& c : cases) {
    CapturedRun run;
    run.control.start(c.program);
    for (const int line : c.breakpoints)
      run.control.setBreakpoint(line);
    std::string stops;
    for (const char* action = c.actions; *action != '\0'; ++action) {
      const StopReason reason = *action == 's'   ? run.control.step()
                                : *action == 'b' ? run.control.resume(3)
                                                 : run.control.resume();
      stops += (stops.empty() ? "" : " ") + describeStop(run.control, reason);
    }
    EXPECT_EQ(stops, c.stops) << c.program;
    if (*c.printed != '\0') {
      EXPECT_EQ(run.printed, c.printed) << c.program;
    }
  }
}

// Stopping anywhere changes nothing: stepping line by line, or stopping at a breakpoint on
// every line, prints exactly what a plain run prints.
TEST(RunControlTest, StoppingNeverChangesWhatARunPrints) {
  const char* programs[] = {kDemoProgram, kLoop,
                            "10 for i = 1 to 3\n20 gosub 50\n30 next i\n40 end\n50 print i, i * i\n"
                            "60 if i < 2 then return else print \"big\"\n70 return\n"};
  for (const char* program : programs) {
    const std::string expected = testing::runProgram(program);
    CapturedRun stepped;
    stepped.control.start(program);
    while (stepped.control.step() != StopReason::Ended) {
    }
    EXPECT_EQ(stepped.printed, expected) << program;
    CapturedRun stopped;
    stopped.control.start(program);
    for (int line = 1; line <= 10; ++line)
      stopped.control.setBreakpoint(line);
    int stops = 0;
    while (stopped.control.resume() != StopReason::Ended)
      ++stops;
    EXPECT_EQ(stopped.printed, expected) << program;
    EXPECT_GT(stops, 5) << program;
  }
}

// Breakpoints set or cleared while a run is stopped take effect when it goes on; a run
// standing on a line-feed stands on the line that follows it.
TEST(RunControlTest, BreakpointsChangeBetweenStops) {
  CapturedRun run;
  run.control.start(kLoop);
  run.control.setBreakpoint(3);
  run.control.setBreakpoint(4);
  EXPECT_EQ(run.control.resume(), StopReason::Breakpoint);
  EXPECT_TRUE(run.control.clearBreakpoint(4));
  EXPECT_FALSE(run.control.clearBreakpoint(4));
  EXPECT_EQ(run.control.resume(), StopReason::Breakpoint);
  EXPECT_EQ(run.control.line(), 3);
  EXPECT_EQ(run.control.resume(4), StopReason::StepBound);  // at the line-feed NEXT went back to
  EXPECT_EQ(run.control.line(), 3);
  run.control.clearBreakpoints();
  EXPECT_EQ(run.control.resume(), StopReason::Ended);
  run.control.start("10 print 1\n20 print 2");  // a last line with no line-feed
  for (const int line : {0, 1, 2, 3})           // lines 0 and 3 are none of the text's
    run.control.setBreakpoint(line);
  run.control.clearBreakpoint(1);
  EXPECT_EQ(run.control.resume(), StopReason::Breakpoint);
  EXPECT_EQ(run.control.statements(), 3U);  // counted from the start, to the PRINT
  EXPECT_EQ(run.printed, "6\n1\n");
}

TEST(RunControlTest, TheStopRequestStopsTheRunAndIsCleared) {
  CapturedRun run;
  std::atomic<int> request{1};
  run.control.setStopRequest(&request);
  run.control.start("10 goto 10\n");
  EXPECT_EQ(run.control.resume(), StopReason::Interrupted);
  EXPECT_EQ(request, 0);
  EXPECT_EQ(run.control.resume(1000), StopReason::StepBound);
  EXPECT_EQ(run.control.statements(), 1000U);
}

// The trace names each numbered line as the run reaches it, jumps included.
TEST(RunControlTest, TracesTheNumberedLinesReached) {
  CapturedRun run;
  std::string trace;
  run.control.setLineTrace([&](std::int32_t n) { trace += '[' + std::to_string(n) + ']'; });
  run.control.start("10 for i = 1 to 2\n  20 print i\nx = 1\n30 next i\n");
  EXPECT_EQ(run.control.resume(), StopReason::Ended);
  EXPECT_EQ(trace, "[10][20][30][20][30]");
}

// One rule for lines: a line runs when a statement starts on it. The trace, a step at a time,
// a breakpoint on every line and a bound on statements all tell the same lines, for programs
// whose slips make statements read on over their lines' ends and skip lines' words.
// Eight numbered lines of statements, slips among them.
std::string slipProgram(std::mt19937& random) {
  const char* const kStatements[] = {
      "x = x + 1", "PRINT x",     "x = 5 +",        "print x; i", "if x < 3 then goto #",
      "gosub #",   "return",      "for i = 1 to 2", "next i",     "goto #",
      "let q",     "if x then #", "y = 1 x = 2"};
  std::string text;
  for (int line = 1; line <= 8; ++line) {
    std::string statement = kStatements[random() % std::size(kStatements)];
    if (const auto at = statement.find('#'); at != std::string::npos)
      statement.replace(at, 1, std::to_string(10 * (1 + random() % 8)));
    text += std::to_string(10 * line) + " " + statement + "\n";
  }
  return text;
}

TEST(RunControlTest, TraceStepsBreakpointsAndBoundTellTheSameLines) {
  std::mt19937 random(5);
  constexpr std::uint64_t kBound = 400;
  for (int program = 0; program < 300; ++program) {
    const std::string text = slipProgram(random);
    const auto numberOf = [&text](int line) {
      std::size_t at = 0;
      for (int i = 1; i < line; ++i)
        at = text.find('\n', at) + 1;
      return std::stoi(text.substr(at));
    };
    CapturedRun traced;
    std::vector<int> trace;
    traced.control.setLineTrace([&](std::int32_t n) { trace.push_back(n); });
    traced.control.start(text.c_str());
    const StopReason end = traced.control.resume(kBound);
    // Stops before a statement that still runs within the bound, as the trace shows them.
    const auto stopsOf = [&](bool stepping) {
      CapturedRun run;
      run.control.start(text.c_str());
      for (int line = 1; line <= 8 && !stepping; ++line)
        run.control.setBreakpoint(line);
      std::vector<int> stops;
      if (stepping && run.control.line()) stops.push_back(numberOf(*run.control.line()));
      for (;;) {
        const std::uint64_t left = kBound - run.control.statements();
        const StopReason reason = stepping ? run.control.step(left) : run.control.resume(left);
        if (reason != StopReason::Stepped && reason != StopReason::Breakpoint) break;
        if (run.control.statements() == kBound) break;
        stops.push_back(numberOf(*run.control.line()));
      }
      return std::pair(stops, run.printed);
    };
    const auto [steps, printed] = stopsOf(true);
    EXPECT_EQ(steps, trace) << text;
    EXPECT_EQ(printed, traced.printed) << text;
    EXPECT_EQ(stopsOf(false).first, trace) << text;
    // A bound stops on the line that runs on, or on the next line the run reaches.
    if (end != StopReason::StepBound) continue;
    const int standing = numberOf(*traced.control.line());
    std::vector<int> after;
    traced.control.setLineTrace([&](std::int32_t n) { after.push_back(n); });
    traced.control.resume(kBound);
    EXPECT_TRUE(standing == trace.back() || (!after.empty() && standing == after.front())) << text;
  }
}

// Where a run stands, all of it that its future and its display depend on.
std::string stateOf(const CapturedRun& run) {
  std::string state = std::to_string(run.control.statements()) + "@" +
                      std::to_string(run.control.line().value_or(0)) + " printed " +
                      std::to_string(run.control.printed()) + " vars";
  for (const std::int8_t value : run.interpreter.variables)
    state += " " + std::to_string(value);
  return state;
}

// Going back N lines and forward N lines again gives the state and the output of never
// going back, over runs long enough to pass many checkpoints, with an edit by the host on the
// way.
TEST(RunControlTest, GoingBackAndForwardAgainIsNeverGoingBack) {
  std::mt19937 random(11);
  for (int program = 0; program < 200; ++program) {
    std::string text = slipProgram(random);
    text.insert(0, "5 for j = 1 to 60\n");  // loops long enough for many checkpoints
    text += "90 next j\n";
    const auto editAt = static_cast<std::size_t>(random() % 400);
    const auto edit = [editAt](CapturedRun& run, std::size_t step) {
      if (step != editAt) return;
      run.interpreter.storeVariable('x', 7);
      run.control.noteHostEdit();
    };
    // The state after each step of a run that never goes back.
    CapturedRun forward;
    forward.control.start(text.c_str());
    std::vector<std::string> states{stateOf(forward)};
    std::vector<std::size_t> printedAt{0};
    for (std::size_t step = 1; step <= 1500; ++step) {
      if (forward.control.step(100000) != StopReason::Stepped) break;
      edit(forward, step);
      states.push_back(stateOf(forward));
      printedAt.push_back(forward.printed.size());
    }
    const std::size_t at = 1 + random() % (states.size() - 1);
    const std::size_t lines = 1 + random() % at;
    CapturedRun travelled;
    travelled.control.start(text.c_str());
    for (std::size_t step = 1; step <= at; ++step) {
      travelled.control.step(100000);
      edit(travelled, step);
    }
    ASSERT_EQ(stateOf(travelled), states[at]) << text;
    const auto variablesThen = travelled.interpreter.variables;
    EXPECT_EQ(travelled.control.back(lines), lines) << text;
    // The changes it tells are those from where it stood to where it stands.
    std::string differ;
    std::string told;
    for (int i = 0; i < kVariableCount; ++i) {
      const auto index = static_cast<std::size_t>(i);
      if (variablesThen[index] != travelled.interpreter.variables[index]) {
        differ += std::string(1, static_cast<char>('a' + i)) +
                  std::to_string(variablesThen[index]) + ">" +
                  std::to_string(travelled.interpreter.variables[index]) + " ";
      }
    }
    for (const VariableChange& change : travelled.control.changes())
      told += std::string(1, change.name) + std::to_string(change.before) + ">" +
              std::to_string(change.after) + " ";
    EXPECT_EQ(told, differ) << text << "back " << lines;
    EXPECT_EQ(stateOf(travelled), states[at - lines]) << text << "back " << lines;
    for (std::size_t step = 1; step <= lines; ++step)
      travelled.control.step(100000);
    EXPECT_EQ(stateOf(travelled), states[at]) << text << "back " << lines;
    EXPECT_EQ(travelled.printed, forward.printed.substr(0, printedAt[at]) +
                                     forward.printed.substr(printedAt[at - lines],
                                                            printedAt[at] - printedAt[at - lines]))
        << text;

    // A change made in the past makes another future: going forward runs it, and going back
    // over it and forward again runs it again, as a run that made it there first.
    travelled.control.back(lines);
    travelled.interpreter.storeVariable('y', 9);
    travelled.control.noteHostEdit();
    CapturedRun changed;
    changed.control.start(text.c_str());
    for (std::size_t step = 1; step <= at - lines; ++step) {
      changed.control.step(100000);
      edit(changed, step);
    }
    changed.interpreter.storeVariable('y', 9);
    changed.control.noteHostEdit();
    for (std::size_t step = 1; step <= lines; ++step) {
      travelled.control.step(100000);
      changed.control.step(100000);
    }
    EXPECT_EQ(stateOf(travelled), stateOf(changed)) << text;
    travelled.control.back(lines);
    for (std::size_t step = 1; step <= lines; ++step)
      travelled.control.step(100000);
    EXPECT_EQ(stateOf(travelled), stateOf(changed)) << text;
  }
}
// Going back stop by stop (breakpoints whose condition holds, and watches) meets the stops of
// the forward run, in reverse, each with the same state, down to the start.
TEST(RunControlTest, GoingBackStopsWhereGoingForwardStopped) {
  std::mt19937 random(3);
  for (int program = 0; program < 150; ++program) {
    std::string text = slipProgram(random);
    text.insert(0, "5 for j = 1 to 30\n");
    text += "90 next j\n";
    CapturedRun run;
    run.control.start(text.c_str());
    run.control.watch('x');
    const int line = 2 + static_cast<int>(random() % 8);
    run.control.setBreakpoint(line);
    run.control.setCondition(line, "j % 3 = 1");
    std::vector<std::string> stops{stateOf(run)};
    while (run.control.resume(20000 - run.control.statements()) != StopReason::Ended &&
           run.control.statements() < 20000 && stops.size() < 200) {
      // A watch and a breakpoint may stop the run twice at one point: going back, once.
      if (stateOf(run) != stops.back()) stops.push_back(stateOf(run));
    }
    while (!stops.empty()) {
      const StopReason reason = run.control.backToStop();
      EXPECT_EQ(stateOf(run), stops.back()) << text;
      if (reason == StopReason::Stepped) break;
      stops.pop_back();
    }
    EXPECT_EQ(run.control.statements(), 0U) << text;
  }
}

// An immediate line run while a run is stopped reads and changes the variables; the run then
// goes on where it stood.
TEST(RunControlTest, AnImmediateLineRunsBesideAStoppedRun) {
  CapturedRun run;
  run.control.start(kLoop);
  run.control.setBreakpoint(5);
  ASSERT_EQ(run.control.resume(), StopReason::Breakpoint);
  const auto where = [&in = run.interpreter] {
    return std::tuple(in.tokenStart, in.lineOrdinal, in.gosubDepth, in.forDepth, in.endReached,
                      in.nestingDepth);
  };
  const auto stoppedAt = where();
  const RunPoint point = saveRunPoint(run.interpreter);
  for (const char* line : {"x = x * 2\n", "gosub 9\n9 for q = 1 to 2\nend\n"}) {
    run.interpreter.load(line);
    testing::runSteps(run.interpreter, 100);
  }
  restoreRunPoint(run.interpreter, point);
  EXPECT_EQ(where(), stoppedAt);
  EXPECT_EQ(run.control.line(), 5);
  EXPECT_EQ(run.control.resume(), StopReason::Ended);
  EXPECT_EQ(run.printed, "12\n");
}

// The sink receives exactly what standard output would: numbers, literals cut at 40
// characters, a space for each comma, a line-feed for each PRINT.
TEST(OutputSinkTest, ReceivesWhatStandardOutputWould) {
  for (const char* program : {kDemoProgram,
                              "print 1, -2;\"ab\",, x\nprint\nprint \""
                              "0123456789012345678901234567890123456789xyz\"\n",
                              "x = 100 * 100\nprint x * 99999, 2147483647 + 1"}) {
    CapturedRun run;
    run.interpreter.load(program);
    testing::runSteps(run.interpreter, 1000);
    EXPECT_EQ(run.printed, testing::runProgram(program)) << program;
  }
}

}  // namespace
}  // namespace linebasic

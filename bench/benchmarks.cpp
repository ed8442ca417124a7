// Benchmarks of the interpreter on programs that stress the scanner, the jumps and GOSUB.
// The interpreter's output goes to /dev/null; the report goes to the real standard output.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "app/demo_program.h"
#include "bench/programs.h"
#include "check/check.h"
#include "debug/run_control.h"
#include "interpreter/interpreter.h"

namespace linebasic::bench {
namespace {

// Runs `text` to its end on `interpreter`; returns the number of statements executed.
std::int64_t runToEnd(Interpreter& interpreter, const char* text) {
  interpreter.load(text);
  std::int64_t statements = 0;
  while (!interpreter.isDone()) {
    interpreter.executeStatement();
    ++statements;
  }
  return statements;
}

void reportStatements(benchmark::State& state, std::int64_t statementsPerRun) {
  state.counters["statements/s"] = benchmark::Counter(
      static_cast<double>(statementsPerRun * state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Demo(benchmark::State& state) {
  for (auto _ : state) {
    Interpreter interpreter;
    benchmark::DoNotOptimize(runToEnd(interpreter, kDemoProgram));
  }
}
BENCHMARK(BM_Demo);

void BM_ScanHeavy(benchmark::State& state) {
  const std::string text = scanHeavyProgram(200);
  Interpreter interpreter;
  for (auto _ : state)
    benchmark::DoNotOptimize(runToEnd(interpreter, text.c_str()));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ScanHeavy);

// Runs `text` once per iteration, reported as statements per second.
void runStatementsBenchmark(benchmark::State& state, const char* text) {
  Interpreter interpreter;
  std::int64_t statements = 0;
  for (auto _ : state)
    statements = runToEnd(interpreter, text);
  reportStatements(state, statements);
}

void BM_NestedLoop(benchmark::State& state) {
  runStatementsBenchmark(state, kNestedLoop);
}
BENCHMARK(BM_NestedLoop);

// Also reported as bytes rescanned per second. Each of the 900 NEXT j that go back rescans from
// the top to the loop body (the line of "9030"), each of the 99 NEXT i that go back to the
// line of "9010"; the run itself passes over the whole text once.
void BM_JumpHeavy(benchmark::State& state) {
  const std::string text = jumpHeavyProgram();
  const auto offsetOf = [&text](const char* line) {
    return static_cast<std::int64_t>(text.find(line));
  };
  const std::int64_t scannedPerRun =
      900 * offsetOf("9030") + 99 * offsetOf("9010") + static_cast<std::int64_t>(text.size());
  runStatementsBenchmark(state, text.c_str());
  state.SetBytesProcessed(state.iterations() * scannedPerRun);
}
BENCHMARK(BM_JumpHeavy);

// The nested loop under run control: with no breakpoint (the plain loop and a count), and with
// one on its last line, so that every line the run reaches is looked up.
void BM_RunControl(benchmark::State& state) {
  Interpreter interpreter;
  RunControl control(interpreter);
  for (auto _ : state) {
    control.start(kNestedLoop);
    if (state.range(0) != 0) control.setBreakpoint(9);
    while (control.resume() != StopReason::Ended) {
    }
  }
  reportStatements(state, static_cast<std::int64_t>(control.statements()));
}
BENCHMARK(BM_RunControl)->Arg(0)->Arg(1);

// A run's past: a loop that never ends runs 10^8 (or 10^9) statements under run control, then
// goes back one line; the time is that of the step back alone, and the counters say how much
// memory the past takes.
constexpr char kEndless[] = "10 x = x + 1\n20 if x < 100 then goto 10\n30 y = y + 1\n40 goto 10\n";
void BM_StepBack(benchmark::State& state) {
  Interpreter interpreter;
  RunControl control(interpreter);
  control.start(kEndless);
  control.resume(static_cast<std::uint64_t>(state.range(0)));
  for (auto _ : state) {
    control.back(1);
    state.PauseTiming();
    control.step();  // forward again, for the next step back
    state.ResumeTiming();
  }
  const History& history = control.history();
  state.counters["checkpoints"] = static_cast<double>(history.checkpoints.size());
  state.counters["history MB"] =
      static_cast<double>(history.checkpoints.capacity() * sizeof(Checkpoint)) / 1e6;
}
BENCHMARK(BM_StepBack)
    ->Arg(100'000'000)
    ->Arg(1'000'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_CallHeavy(benchmark::State& state) {
  const std::string text = callHeavyProgram();
  runStatementsBenchmark(state, text.c_str());
}
BENCHMARK(BM_CallHeavy);

// The checker on a 1 MB program, reported in bytes per second.
void BM_Check(benchmark::State& state) {
  const std::string text = checkHeavyProgram(std::size_t{1} << 20);
  for (auto _ : state)
    benchmark::DoNotOptimize(checkProgram(text));
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace linebasic::bench

int main(int argc, char** argv) {
  // Keep the report on the real standard output and send what the programs print to /dev/null.
  const int reportFd = ::dup(STDOUT_FILENO);
  if (reportFd < 0 || std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  std::ofstream report("/proc/self/fd/" + std::to_string(reportFd));
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&report);
  reporter.SetErrorStream(&report);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

// Values a run stores out of range: a program reads no input, so the first statements of its
// run are tried, printing nothing, and each assignment whose value a variable cannot hold is
// told where the run first meets it.
#include <algorithm>
#include <cstdint>
#include <string>

#include "check/checker.h"
#include "interpreter/interpreter.h"

namespace linebasic::check {
namespace {

void discard(void* /*context*/, std::string_view /*text*/) {}

// Whether the expression from `start` to `end` reads the variable `name` it is stored in.
bool buildsOnItself(const char* start, const char* end, char name) {
  for (const char* c = start; c < end; ++c) {
    if (*c == name && (c == start || !isLetter(c[-1])) && !isLetter(c[1])) return true;
  }
  return false;
}

// A warning at `where` in `text`.
Diagnostic at(const std::string& text, const char* where, std::string_view name,
              std::string message) {
  const char* lineStart = where;
  while (lineStart != text.c_str() && lineStart[-1] != '\n')
    --lineStart;
  return {static_cast<int>(std::count(text.c_str(), where, '\n')) + 1,
          static_cast<int>(where - lineStart) + 1, name, std::move(message), std::nullopt};
}

}  // namespace

std::vector<Diagnostic> trialStores(const std::string& text) {
  std::vector<Diagnostic> found;
  if (kCompactChecker || text.size() > kTrialTextMax) return found;
  Interpreter run;
  Interpreter probe;  // evaluates an assignment's value as the run is about to
  for (Interpreter* interpreter : {&run, &probe}) {
    interpreter->output.write = discard;
    interpreter->load(text.c_str());
  }
  std::vector<const char*> told;  // the statements told of, few
  const auto tell = [&told](const char* at) {
    if (std::find(told.begin(), told.end(), at) != told.end()) return false;
    told.push_back(at);
    return true;
  };
  // The probe stands where the run does, with its variables.
  const auto probeAtRun = [&] {
    probe.token = run.token;
    probe.tokenStart = run.tokenStart;
    probe.tokenEnd = run.tokenEnd;
    probe.variables = run.variables;
    probe.nestingDepth = 0;
  };
  // The assignment at the probe's token, as the run is about to make it.
  const auto tryAssignment = [&] {
    if (probe.token == TokenKind::Let) probe.advance();  // as the dispatcher steps over it
    const char name = *probe.tokenStart;
    const char* const variable = probe.tokenStart;
    probe.advance();
    probe.advance();
    const char* const start = probe.tokenStart;
    const std::int32_t value = probe.evalExpression();
    if (isLower(name) && (value < -kVariableMax - 1 || value > kVariableMax) && tell(variable)) {
      const auto stored = static_cast<std::int8_t>(static_cast<std::uint32_t>(value) & 0xff);
      const char* const end = lastTokenEnd(start, probe.tokenStart);
      found.push_back(at(
          text, variable, name::kValueRange,
          "on the run, " + quote(start, end) + " first comes to " + std::to_string(value) +
              " here, and " + std::string(1, name) + " holds it as " + std::to_string(stored) +
              ": a variable holds -128 to 127; " +
              (buildsOnItself(start, end, name)
                   ? std::string(1, name) + " adds up on itself, so keep a smaller total and scale "
                                            "it where it is printed"
                   : "an expression keeps 32 bits, so compare or print " + quote(start, end) +
                         " itself")));
    }
  };
  for (int step = 0; step < kTrialStatements && !run.isDone(); ++step) {
    if (run.token == TokenKind::Let || run.token == TokenKind::Variable) {
      probeAtRun();
      tryAssignment();
    } else if (run.token == TokenKind::If) {
      // An assignment after THEN when the condition holds, or after the ELSE of a line with
      // no other IF when it fails.
      probeAtRun();
      probe.advance();
      const std::int32_t holds = probe.evalRelation();
      probe.advance();
      if (holds == 0) {
        do {
          probe.advance();
        } while (probe.token != TokenKind::Else && probe.token != TokenKind::Newline &&
                 probe.token != TokenKind::EndOfText && probe.token != TokenKind::If);
        if (probe.token == TokenKind::Else)
          probe.advance();
        else
          probe.token = TokenKind::Newline;  // no ELSE of its own to try
      }
      if (probe.token == TokenKind::Let || probe.token == TokenKind::Variable) tryAssignment();
    }
    if (run.token == TokenKind::For &&
        std::find(told.begin(), told.end(), run.tokenStart) == told.end()) {
      // A loop whose end is below its start runs once here, where other BASICs skip it.
      probeAtRun();
      const char* const keyword = probe.tokenStart;
      probe.advance();
      const char name = *probe.tokenStart;
      probe.advance();
      probe.advance();
      const std::int32_t first = probe.evalExpression();
      probe.advance();
      const std::int32_t limit = probe.evalExpression();
      if (isLower(name) && first > limit && first <= kVariableMax && first >= -kVariableMax - 1) {
        tell(keyword);
        found.push_back(at(text, keyword, name::kLoopRunsOnce,
                           "on the run, this loop first starts " + std::string(1, name) + " at " +
                               std::to_string(first) + " with its end at " + std::to_string(limit) +
                               ": FOR counts up only, so the body runs once, where other BASICs "
                               "skip it; skip it with an IF when the end is below the start"));
      }
    }
    run.executeStatement();
  }
  return found;
}

}  // namespace linebasic::check

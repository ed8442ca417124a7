// Values a run stores out of range: a program reads no input, so the first statements of its
// run are tried, printing nothing, and each assignment whose value a variable cannot hold is
// told where the run first meets it.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "check/checker.h"
#include "interpreter/interpreter.h"

namespace linebasic::check {
namespace {

void discard(void* /*context*/, std::string_view /*text*/) {}

}  // namespace

std::vector<Diagnostic> trialStores(const std::string& text) {
  std::vector<Diagnostic> found;
  if (text.size() > kTrialTextMax) return found;
  Interpreter run;
  Interpreter probe;  // evaluates an assignment's value as the run is about to
  for (Interpreter* interpreter : {&run, &probe}) {
    interpreter->output.write = discard;
    interpreter->load(text.c_str());
  }
  std::set<const char*> told;
  for (int step = 0; step < kTrialStatements && !run.isDone(); ++step) {
    const bool let = run.token == TokenKind::Let;
    if (let || run.token == TokenKind::Variable) {
      probe.token = run.token;
      probe.tokenStart = run.tokenStart;
      probe.tokenEnd = run.tokenEnd;
      if (let) probe.advance();  // over LET, as the dispatcher steps over it
      const char name = *probe.tokenStart;
      const char* const variable = probe.tokenStart;
      probe.advance();
      probe.advance();
      const char* const start = probe.tokenStart;
      probe.variables = run.variables;
      probe.nestingDepth = 0;
      const std::int32_t value = probe.evalExpression();
      if (isLower(name) && (value < -kVariableMax - 1 || value > kVariableMax) &&
          told.insert(variable).second) {
        const auto stored = static_cast<std::int8_t>(static_cast<std::uint32_t>(value) & 0xff);
        const char* const end = lastTokenEnd(start, probe.tokenStart);
        const auto line = static_cast<int>(std::count(text.c_str(), variable, '\n')) + 1;
        const char* lineStart = variable;
        while (lineStart != text.c_str() && lineStart[-1] != '\n')
          --lineStart;
        found.push_back({line, static_cast<int>(variable - lineStart) + 1, name::kValueRange,
                         "on the run, " + quote(start, end) + " first comes to " +
                             std::to_string(value) + " here, and " + std::string(1, name) +
                             " holds it as " + std::to_string(stored) +
                             ": a variable holds -128 to 127",
                         std::nullopt});
      }
    }
    run.executeStatement();
  }
  return found;
}

}  // namespace linebasic::check

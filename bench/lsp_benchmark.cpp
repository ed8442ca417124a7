// The language server answering a change to a 1 MB program: the change applied, the text
// checked again and its warnings published, as framed JSON.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/programs.h"
#include "lsp/server.h"

namespace linebasic::bench {
namespace {

std::string message(const lsp::json& params, const char* method) {
  return lsp::json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump();
}

// Each iteration types one character into the first line and takes it out again on the next,
// so the text stays the same size; the time is that of one change and its publication.
void BM_LspChange(benchmark::State& state) {
  const std::string uri = "file:///big.bas";
  const std::string text = checkHeavyProgram(std::size_t{1} << 20);
  std::size_t published = 0;
  lsp::Server server([&](const std::string& body) { published = body.size(); });
  server.receive(lsp::json{
      {"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"}, {"params", lsp::json::object()}}
                     .dump());
  server.receive(message({{"textDocument", {{"uri", uri}, {"version", 1}, {"text", text}}}},
                         "textDocument/didOpen"));
  server.publishPending();
  const auto change = [&](int version, int to, const char* inserted) {
    const lsp::json range = {{"start", {{"line", 0}, {"character", 2}}},
                             {"end", {{"line", 0}, {"character", to}}}};
    return message({{"textDocument", {{"uri", uri}, {"version", version}}},
                    {"contentChanges", {{{"range", range}, {"text", inserted}}}}},
                   "textDocument/didChange");
  };
  const std::string typed = change(2, 2, "0");
  const std::string erased = change(3, 3, "");
  bool odd = false;
  for (auto _ : state) {
    server.receive((odd = !odd) ? typed : erased);
    server.publishPending();
  }
  state.counters["published bytes"] = static_cast<double>(published);
}
BENCHMARK(BM_LspChange)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace linebasic::bench

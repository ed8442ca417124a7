// The language server, driven as an editor drives it: framed messages into its transport, and
// what it writes back, message by message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "lsp/features.h"
#include "lsp/program.h"
#include "lsp/server.h"
#include "test_support.h"

namespace linebasic::lsp {
namespace {

using testing::readFile;
using testing::ScratchFolder;

const std::string kUri = "file:///p.bas";

std::string framed(const json& message) {
  const std::string body = message.dump();
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string ask(int id, const std::string& method, json params = json::object()) {
  return framed({{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}});
}

std::string tell(const std::string& method, json params = json::object()) {
  return framed({{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
}

const std::string kInitialize = ask(1, "initialize", {{"capabilities", json::object()}});
const std::string kShutdownExit = ask(99, "shutdown") + tell("exit");

std::string open(const std::string& text) {
  return tell("textDocument/didOpen",
              {{"textDocument", {{"uri", kUri}, {"version", 1}, {"text", text}}}});
}

json at(int line, int character) {
  return {{"textDocument", {{"uri", kUri}}},
          {"position", {{"line", line}, {"character", character}}}};
}

struct Served {
  int status;
  std::vector<json> messages;
};

// Serves `input` to its end; a message that is not framed as it should be fails the test.
Served serve(const std::string& input) {
  const ScratchFolder folder;
  std::ofstream(folder / "in", std::ios::binary) << input;
  const int in = ::open((folder / "in").c_str(), O_RDONLY);
  const int out = ::open((folder / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Served served{lsp::serve(in, out), {}};
  ::close(in);
  ::close(out);
  const std::string output = readFile(folder / "out");
  for (std::size_t at = 0; at < output.size();) {
    const std::size_t body = output.find("\r\n\r\n", at) + 4;
    const std::size_t length = std::stoul(output.substr(at + 16, body - at - 20));
    EXPECT_EQ(output.substr(at, 16), "Content-Length: ");
    served.messages.push_back(json::parse(output.substr(body, length)));
    at = body + length;
  }
  return served;
}

// The answer to request `id`, or its error's message after "error ".
json answer(const Served& served, int id) {
  for (const json& message : served.messages) {
    if (message.value("id", json()) != id) continue;
    if (message.contains("error")) return "error " + message["error"]["message"].get<std::string>();
    return message["result"];
  }
  return "no answer";
}

// A session on `text`: initialized, the text opened, then `messages`, shutdown and exit.
Served session(const std::string& text, const std::string& messages) {
  return serve(kInitialize + open(text) + messages + kShutdownExit);
}

std::string rangeOf(const json& range) {
  const auto place = [](const json& p) {
    return std::to_string(p["line"].get<int>()) + ":" + std::to_string(p["character"].get<int>());
  };
  return place(range["start"]) + "-" + place(range["end"]);
}

// An answer in a line: ranges for locations, the text of a hover, a range and a placeholder
// for a rename's preparation.
std::string shown(const json& result) {
  if (result.is_string() || result.is_null()) return result.dump();
  if (result.contains("contents")) return result["contents"]["value"];
  if (result.contains("placeholder"))
    return rangeOf(result["range"]) + " " + result["placeholder"].get<std::string>();
  std::string ranges;
  for (const json& location : result.is_array() ? result : json::array({result}))
    ranges += (ranges.empty() ? "" : " ") + rangeOf(location["range"]);
  return ranges;
}

// The byte offset of an LSP position in `text`, counting UTF-16 code units.
std::size_t offsetOf(const std::string& text, const json& position) {
  std::size_t at = 0;
  for (int line = 0; line < position["line"].get<int>(); ++line)
    at = text.find('\n', at) + 1;
  for (int units = position["character"].get<int>(); units > 0; --units) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    at += static_cast<std::size_t>(length);
    if (length == 4) --units;
  }
  return at;
}

// `text` with `edits` applied, the last first.
std::string applied(std::string text, const json& edits) {
  std::vector<json> ordered(edits.begin(), edits.end());
  std::sort(ordered.begin(), ordered.end(), [&](const json& a, const json& b) {
    return offsetOf(text, a["range"]["start"]) > offsetOf(text, b["range"]["start"]);
  });
  for (const json& edit : ordered) {
    const std::size_t begin = offsetOf(text, edit["range"]["start"]);
    text.replace(begin, offsetOf(text, edit["range"]["end"]) - begin,
                 edit["newText"].get<std::string>());
  }
  return text;
}

// Each message in a word: "1:ok" or "1:-32601" for a response, "diagnostics" for a
// publication; the exit status first.
std::string summary(const Served& served) {
  std::string words = std::to_string(served.status) + "|";
  for (const json& message : served.messages) {
    if (message.contains("method")) {
      words += message["method"] == "textDocument/publishDiagnostics" ? "diagnostics " : "? ";
    } else {
      words += message["id"].dump() + ":" +
               (message.contains("error") ? message["error"]["code"].dump() : "ok") + " ";
    }
  }
  return words;
}

TEST(LspTest, KeepsToTheProtocolWhateverComes) {
  const std::string hover = ask(2, "textDocument/hover", at(0, 0));
  const std::vector<std::pair<std::string, std::string>> cases = {
      {hover + kShutdownExit, "1|2:-32002 99:-32002 "},  // not initialized; exit without shutdown
      {kInitialize + ask(2, "no/such") + kShutdownExit, "0|1:ok 2:-32601 99:ok "},
      {kInitialize + tell("exit"), "1|1:ok "},
      {kInitialize, "1|1:ok "},  // the input ends
      {kInitialize + kInitialize + ask(99, "shutdown") + hover + tell("exit"),
       "0|1:ok 1:-32600 99:ok 2:-32600 "},
      {kInitialize + "Content-Length: 5\r\n\r\n{bad}" + hover, "1|1:ok null:-32700 2:ok "},
      {kInitialize + "Content-Length: 3\r\n\r\n[1]" + hover, "1|1:ok null:-32600 2:ok "},
      // A length given short leaves the rest of the body in front of the next header.
      {kInitialize + "Content-Length: 3\r\n\r\n{\"id\":5}" + hover, "1|1:ok null:-32700 2:ok "},
      {kInitialize + "Content-Type: text\r\n\r\n{}" + hover, "1|1:ok 2:ok "},
      {kInitialize + "content-length:  2\r\n\r\n{}" + hover, "1|1:ok null:-32600 2:ok "},
      {kInitialize + open("10 x = 1") +
           ask(2, "textDocument/hover",
               {{"textDocument", {{"uri", kUri}}}, {"position", {{"line", 1e20}}}}),
       "1|1:ok diagnostics 2:-32602 "},  // a count too large for an int is no count
      {kInitialize + ask(2, "textDocument/hover", {{"textDocument", {{"uri", 7}}}}),
       "1|1:ok 2:-32602 "},
      // A document closed, then changed and asked about.
      {kInitialize + open("10 x = 1") +
           tell("textDocument/didClose", {{"textDocument", {{"uri", kUri}}}}) +
           tell("textDocument/didChange", {{"textDocument", {{"uri", kUri}, {"version", 2}}},
                                           {"contentChanges", {{{"text", "20 PRINT"}}}}}) +
           hover,
       "1|1:ok diagnostics diagnostics 2:ok "},
  };
  for (const auto& [input, expected] : cases)
    EXPECT_EQ(summary(serve(input)), expected) << input;
}

// The warnings of each text, as ranges in UTF-16 code units, with their names.
TEST(LspTest, PublishesTheCheckersWarnings) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"10 PRINT 1\n20 goto 75", "0:3-0:8 keyword-case 1:8-1:10 missing-line"},
      {"10 print \"a\xC3\xA9\xF0\x9F\x98\x80\" Y\r\n20 x == 1\r\n",
       "0:16-0:17 print-item 1:5-1:7 operator-pair"},
      {"10 x = 5 +\n", "0:10-0:10 missing-operand"},
      {"10 print \"abc\n20 end", "0:9-0:13 unclosed-literal"},
  };
  for (const auto& [text, expected] : cases) {
    const Served served = session(text, "");
    const json& published = served.messages.at(1);
    ASSERT_EQ(published["method"], "textDocument/publishDiagnostics");
    EXPECT_EQ(published["params"]["version"], 1);
    std::string found;
    for (const json& diagnostic : published["params"]["diagnostics"]) {
      EXPECT_EQ(diagnostic["source"], "linebasic");
      EXPECT_EQ(diagnostic["severity"], 2);
      found += (found.empty() ? "" : " ") + rangeOf(diagnostic["range"]) + " " +
               diagnostic["code"].get<std::string>();
    }
    EXPECT_EQ(found, expected) << text;
  }
}

const std::string kProgram =
    "10 gosub 100\n"
    "20 goto 100\n"
    "30 if x then print \"\xF0\x9F\x98\x80\" else goto 75\n"
    "40 end\n"
    "100 for i = 1 to 3\n"
    "100 next i\n"
    "110 next i\n"
    "120 return\n";

TEST(LspTest, FollowsJumpsAsTheRunDoes) {
  struct Case {
    std::string method;
    int line, character;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"definition", 0, 10, "4:0-4:3"},
      {"definition", 1, 11, "4:0-4:3"},  // just after the target
      {"definition", 0, 4, "null"},
      {"definition", 2, 35, "null"},  // no line 75
      {"references", 0, 10, "4:0-4:3 0:9-0:12 1:8-1:11"},
      {"references", 4, 2, "4:0-4:3 0:9-0:12 1:8-1:11"},
      {"references", 5, 1, "null"},  // the second line 100: no jump reaches it
      {"references", 2, 34, "2:34-2:36"},
      {"prepareRename", 1, 9, "1:8-1:11 100"},
      {"prepareRename", 5, 1, "null"},
      {"prepareRename", 2, 4, "null"},
      {"hover", 0, 4,
       "gosub n: calls the first line numbered n; 'return' comes back to the line "
       "after this one (at most 10 calls are open at once)"},
      {"hover", 1, 9, "goto 100: goes on at text line 5: 100 for i = 1 to 3"},
      {"hover", 4, 1, "line 100: 2 jumps go to it"},
      {"hover", 2, 6,
       "variable x: one of the 26 (a to z), each holding -128 to 127, all 0 "
       "when a run starts"},
      {"hover", 2, 35,
       "missing-line: no line is numbered 75: the run ends here; add a line 75, or jump to one "
       "that is there, such as line 40 or 100"},
      {"hover", 2, 20, "null"},
  };
  std::string messages;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    json params = at(cases[i].line, cases[i].character);
    params["context"] = {{"includeDeclaration", true}};
    messages += ask(static_cast<int>(i) + 2, "textDocument/" + cases[i].method, params);
  }
  const Served served = session(kProgram, messages);
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(shown(answer(served, static_cast<int>(i) + 2)), cases[i].expected)
        << cases[i].method << " " << cases[i].line << ":" << cases[i].character;
  }
}

// Code actions, rename and the renumbering command, each applied to the text as an editor would.
TEST(LspTest, EditsAsTheFixesAndTheRenumberingSay) {
  const auto range = [](int line, int from, int to) {
    return json{{"start", {{"line", line}, {"character", from}}},
                {"end", {{"line", line}, {"character", to}}}};
  };
  const auto actions = [&](int line, int from, int to) {
    return json{{"textDocument", {{"uri", kUri}}},
                {"range", range(line, from, to)},
                {"context", {{"diagnostics", json::array()}}}};
  };
  const auto renamed = [&](int line, int character, const std::string& name) {
    json params = at(line, character);
    params["newName"] = name;
    return params;
  };
  struct Case {
    std::string text;
    std::string method;
    json params;
    std::string expected;  // the text edited by the first action or edit, or an error
  };
  const std::vector<Case> cases = {
      {"10 PRINT \"\xC3\xA9\"; 1\r\n20 x = 1\r\n", "codeAction", actions(0, 4, 4),
       "Write 'print'|10 print \"\xC3\xA9\"; 1\r\n20 x = 1\r\n"},
      {"10 PRINT 1\n20 GOTO 10\n", "codeAction", actions(1, 0, 9),
       "Write 'goto'|10 PRINT 1\n20 goto 10\n|Fix all|10 print 1\n20 goto 10\n"},
      {"10 PRINT 1\n", "codeAction", actions(0, 0, 1), ""},  // outside the warning
      {"10 gosub 30\n20 end\n30 return\n", "rename", renamed(2, 1, "25"),
       "10 gosub 25\n20 end\n25 return\n"},
      {"10 gosub 30\n20 end\n30 return\n", "rename", renamed(0, 9, "20"),
       "error cannot renumber: 3:1: line 30 would be numbered 20, which line 20 outside the range "
       "has"},
      {"10 gosub 30\n20 end\n30 return\n", "rename", renamed(2, 1, "1x"),
       "error a line number has one to four digits, not '1x'"},
  };
  for (const Case& c : cases) {
    const Served served = session(c.text, ask(2, "textDocument/" + c.method, c.params));
    const json result = answer(served, 2);
    std::string found;
    if (result.is_string()) {
      found = result.get<std::string>().substr(0, c.expected.size());
    } else if (c.method == "rename") {
      found = applied(c.text, result["changes"][kUri]);
    } else {
      for (const json& action : result) {
        found += (found.empty() ? "" : "|") + action["title"].get<std::string>() + "|" +
                 applied(c.text, action["edit"]["changes"][kUri]);
      }
    }
    EXPECT_EQ(found, c.expected) << c.text << " " << c.method;
  }
}

TEST(LspTest, RenumbersThroughTheEditor) {
  const std::string text = "5 goto 7\n7 gosub 9\n9 return\n";
  const json command = {{"command", "linebasic.renumber"}, {"arguments", {kUri, 100, 5}}};
  const Served served = session(text, ask(2, "workspace/executeCommand", command));
  const json& applyEdit = served.messages.at(2);
  ASSERT_EQ(applyEdit["method"], "workspace/applyEdit");
  EXPECT_EQ(applied(text, applyEdit["params"]["edit"]["changes"][kUri]),
            "100 goto 105\n105 gosub 110\n110 return\n");
  EXPECT_EQ(answer(served, 2), nullptr);
}

// Incremental changes, each applied to the text the one before left; a huge text as well.
TEST(LspTest, ChecksEachChangeOnce) {
  const std::string big = testing::repeat("x = 1\n", 200'000) + "20 PRINT\n";
  const auto change = [](int version, json range, const std::string& text) {
    return tell("textDocument/didChange",
                {{"textDocument", {{"uri", kUri}, {"version", version}}},
                 {"contentChanges", {{{"range", range}, {"text", text}}}}});
  };
  const auto span = [](int line, int from, int to) {
    return json{{"start", {{"line", line}, {"character", from}}},
                {"end", {{"line", line}, {"character", to}}}};
  };
  const Served served = session(
      big, change(2, span(200'000, 3, 8), "print") + change(3, span(0, 4, 5), "\xF0\x9F\x98\x80") +
               change(4, span(0, 6, 6), "9") + ask(2, "textDocument/hover", at(0, 0)));
  ASSERT_EQ(served.messages.size(), 4U);  // the opening's warnings wait for the changes'
  const json& published = served.messages.at(1)["params"];
  EXPECT_EQ(published["version"], 4);
  ASSERT_EQ(published["diagnostics"].size(), 1U);
  EXPECT_EQ(rangeOf(published["diagnostics"][0]["range"]) + " " +
                published["diagnostics"][0]["code"].get<std::string>(),
            "0:4-0:7 not-a-variable");
  const Served flooded = session(testing::repeat("PRINT\n", 10'001), "");
  EXPECT_EQ(flooded.messages.at(1)["params"]["diagnostics"].size(), kPublishedMax);
}

TEST(LspTest, OutlinesSubroutinesAndLoops) {
  const Served served =
      session(kProgram + "130 for j = 1 to 2\n140 next j\n",
              ask(2, "textDocument/documentSymbol", {{"textDocument", {{"uri", kUri}}}}));
  std::function<std::string(const json&)> outline = [&](const json& symbols) {
    std::string shown;
    for (const json& symbol : symbols) {
      shown += symbol["name"].get<std::string>() + " " + rangeOf(symbol["range"]) + " (" +
               symbol["detail"].get<std::string>() + ")";
      if (!symbol["children"].empty()) shown += " {" + outline(symbol["children"]) + "}";
      shown += ";";
    }
    return shown;
  };
  EXPECT_EQ(outline(answer(served, 2)),
            "subroutine 100 4:0-7:10 (called by 1 GOSUB) {for i = 1 to 3 4:0-5:10 (next i on text "
            "line 6);};for j = 1 to 2 8:0-9:10 (next j on text line 10);");
}

// What the run reads, token by token: 'PRINT' is a word it skips, 'print(' letters.
TEST(LspTest, MarksTokensAsTheRunReadsThem) {
  const std::string text = "10 PRINT \"\xF0\x9F\x98\x80\nb\" 7\n print(x) <= 1";
  const Served served = session(
      text, ask(2, "textDocument/semanticTokens/full", {{"textDocument", {{"uri", kUri}}}}));
  const json legend = served.messages.at(
      0)["result"]["capabilities"]["semanticTokensProvider"]["legend"]["tokenTypes"];
  const std::vector<int> data = answer(served, 2)["data"];
  std::string shown;
  int line = 0;
  int character = 0;
  for (std::size_t i = 0; i + 4 < data.size(); i += 5) {
    character = data[i] == 0 ? character + data[i + 1] : data[i + 1];
    line += data[i];
    shown += std::to_string(line) + ":" + std::to_string(character) + "+" +
             std::to_string(data[i + 2]) + " " + legend[data[i + 3]].get<std::string>() + ", ";
  }
  EXPECT_EQ(shown,
            "0:0+2 number, 0:3+5 comment, 0:9+3 string, 1:0+2 string, 1:3+1 number, "
            "2:1+1 variable, 2:2+1 variable, 2:3+1 variable, 2:4+1 variable, 2:5+1 variable, "
            "2:6+1 operator, 2:7+1 variable, 2:8+1 operator, 2:10+1 operator, 2:11+1 operator, "
            "2:13+1 number, ");
}

// The lines the outline finds for every number at once are those the run's search finds.
TEST(LspTest, FindsEveryLineAsTheRunsSearchDoes) {
  for (const std::string& text : {kProgram, std::string("\n 20 x\n\"\n30\" 40\n  0050 end\n30\n"),
                                  std::string(" 7 end\n7 x"), std::string("print\n0")}) {
    const std::map<std::int32_t, std::size_t> lines = numberedLines(text);
    for (std::int32_t n = 0; n <= 9999; ++n) {
      const auto found = lines.find(n);
      EXPECT_EQ(findLine(text, n),
                found == lines.end() ? std::nullopt : std::optional(found->second))
          << text << " " << n;
    }
  }
}

}  // namespace
}  // namespace linebasic::lsp

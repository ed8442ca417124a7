// The interactive session: program lines, commands and immediate lines.
#include "session/session.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>
#include <vector>

#include "check/check.h"
#include "check/checker.h"
#include "check/lines.h"
#include "scanner/scanner.h"
#include "session/program_file.h"

namespace linebasic {
namespace {

constexpr int kLineNumberDigits = kNumberScanLimit - 1;  // as a Number token has

// "quit" and "exit" are what many other prompts leave with; here they are "bye".
constexpr std::array<std::string_view, 10> kCommands = {"run",   "list", "new", "load", "save",
                                                        "check", "help", "bye", "quit", "exit"};

constexpr std::string_view kHelp =
    "A line that starts with a number is stored in the program, in number order; the number\n"
    "alone deletes that line. Any other line runs at once, with the program's variables:\n"
    "'print x' shows x, and 'goto 100' runs the program from line 100.\n"
    "  run           run the program from its first line, with every variable 0\n"
    "  list [N[-M]]  show the program, or its lines N to M\n"
    "  new           forget the program and the variables\n"
    "  load FILE     replace the program with the one in FILE\n"
    "  save FILE     write the program to FILE\n"
    "  check         warn where a run will do something else than the program seems to say\n"
    "  help          show this text\n"
    "  bye           leave, as do 'quit', 'exit' and Ctrl-D; Ctrl-C stops a run\n";

void say(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

std::string countOfLines(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " line" : " lines");
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

// A line that starts with a line number: the number, and what was typed after its digits.
struct NumberedLine {
  int number;
  std::string_view rest;
};

// Splits a line that starts with digits; nothing, after saying why, when there are too many.
std::optional<NumberedLine> splitNumber(std::string_view line, std::string_view where) {
  std::size_t digits = 0;
  while (digits < line.size() && isDigit(line[digits]))
    ++digits;
  if (digits > kLineNumberDigits) {
    say(std::string(where) + "line numbers have at most four digits: 0 to 9999\n");
    return {};
  }
  return NumberedLine{decimalValue(std::string(line.substr(0, digits)).c_str()),
                      line.substr(digits)};
}

// True when the text's last token is a literal without its closing quote: it runs to the end.
bool endsInsideLiteral(const std::string& text) {
  Interpreter scan;
  scan.load(text.c_str());
  bool open = false;
  for (; scan.token != TokenKind::EndOfText; scan.advance())
    open =
        scan.token == TokenKind::String && !check::isClosedLiteral(scan.tokenStart, scan.tokenEnd);
  return open;
}

// Which warnings are shown under a stored line: not those that wait for lines not typed yet (a
// jump's target, a loop's NEXT). Under an immediate line, checked alone: all but its jumps'.
bool shownWhileTyping(std::string_view name) {
  return name != check::name::kMissingLine && name != check::name::kForWithoutNext;
}
bool isNoJump(std::string_view name) {
  return name != check::name::kMissingLine;
}
bool isJump(std::string_view name) {
  return name == check::name::kMissingLine;
}

// A warning, shown as on line `line`.
void sayWarning(Diagnostic diagnostic, int line) {
  diagnostic.line = line;
  say(formatDiagnostic(diagnostic, "") + "\n");
}

// The lines of a range "", "N", "N-M", "N-" or "-M"; nothing for any other text.
std::optional<std::pair<int, int>> parseRange(std::string_view range) {
  const auto number = [](std::string_view digits) -> std::optional<int> {
    if (digits.empty() || digits.size() > kLineNumberDigits ||
        !std::all_of(digits.begin(), digits.end(), isDigit)) {
      return {};
    }
    return decimalValue(std::string(digits).c_str());
  };
  if (range.empty()) return std::pair{0, 9999};
  const auto dash = range.find('-');
  if (dash == std::string_view::npos) {
    const auto line = number(range);
    if (!line) return {};
    return std::pair{*line, *line};
  }
  const auto first = dash == 0 ? std::optional(0) : number(trimmed(range.substr(0, dash)));
  const auto rest = trimmed(range.substr(dash + 1));
  const auto last = rest.empty() ? std::optional(9999) : number(rest);
  if (!first || !last) return {};
  return std::pair{*first, *last};
}

}  // namespace

Session::Session(std::optional<unsigned long long> maxSteps,
                 volatile std::sig_atomic_t* interrupted, bool onTerminal)
    : maxSteps_(maxSteps), interrupted_(interrupted), onTerminal_(onTerminal) {
  interpreter_.variables.fill(0);
}

bool Session::handleLine(std::string_view line) {
  const std::string repeated = std::exchange(pendingDiscard_, {});
  const std::string_view text = trimmed(line);
  if (text.empty()) return true;
  if (isDigit(text.front())) {
    storeLine(line.substr(static_cast<std::size_t>(text.data() - line.data())));
    return true;
  }
  const std::string_view word = text.substr(0, std::min(text.find(' '), text.find('\t')));
  const std::string_view argument = trimmed(text.substr(word.size()));
  if (std::find(kCommands.begin(), kCommands.end(), word) != kCommands.end())
    return command(word, argument, repeated);
  std::string lowered(word);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  if (std::find(kCommands.begin(), kCommands.end(), lowered) != kCommands.end()) {
    say("commands are lower case: type '" + lowered + "'\n");
    return true;
  }
  runImmediate(text);
  return true;
}

// `repeated` is the command warned about unsaved changes on the line before, if any.
bool Session::command(std::string_view name, std::string_view argument,
                      const std::string& repeated) {
  if (name == "bye" || name == "quit" || name == "exit")
    return !confirmDiscard("bye", name, repeated);
  if (name == "run") {
    runFromStart();
  } else if (name == "list") {
    list(argument);
  } else if (name == "new") {
    if (confirmDiscard(name, name, repeated)) {
      lines_.clear();
      interpreter_.variables.fill(0);
      changed_ = false;
    }
  } else if (name == "load") {
    if (argument.empty()) {
      say("load: which file? type 'load FILE'\n");
    } else if (confirmDiscard(name, name, repeated)) {
      load(argument);
    }
  } else if (name == "save") {
    save(argument);
  } else if (name == "check") {
    check();
  } else {
    say(kHelp);
  }
  return true;
}

// Unsaved changes are given up only when the command comes twice in a row. `name` is the command
// ("bye" for each way of leaving), `typed` the word the user typed for it.
bool Session::confirmDiscard(std::string_view name, std::string_view typed,
                             const std::string& repeated) {
  if (!changed_ || repeated == name) return true;
  say("the program has changes that are not saved: type '" + std::string(typed) + "' again to " +
      (name == "bye" ? "leave" : "go on") + " without saving them, or 'save FILE'\n");
  pendingDiscard_ = name;
  return false;
}

// NUMBER [text]: stores the text typed after the number, or deletes the line.
void Session::storeLine(std::string_view line) {
  const std::optional<NumberedLine> numbered = splitNumber(line, "");
  if (!numbered) return;
  if (trimmed(numbered->rest).empty()) {
    changed_ = lines_.erase(numbered->number) > 0 || changed_;
    return;
  }
  lines_[numbered->number] = numbered->rest;
  changed_ = true;
  const auto position = std::distance(lines_.begin(), lines_.find(numbered->number));
  showWarnings(programText(), static_cast<int>(position) + 1, numbered->number, shownWhileTyping);
}

std::string Session::programText() const {
  std::string text;
  for (const auto& [number, rest] : lines_)
    text += std::to_string(number) + rest + "\n";
  return text;
}

// The checker's warnings on line `line` of `text` whose names pass `shown`, shown as on line
// `shownAs`.
void Session::showWarnings(const std::string& text, int line, int shownAs,
                           bool (*shown)(std::string_view name)) const {
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    if (diagnostic.line == line && shown(diagnostic.name)) sayWarning(diagnostic, shownAs);
  }
}

void Session::check() const {
  const std::vector<Diagnostic> diagnostics = checkProgram(programText());
  std::vector<int> numbers;
  for (const auto& entry : lines_)
    numbers.push_back(entry.first);
  for (const Diagnostic& diagnostic : diagnostics)
    sayWarning(diagnostic, numbers[static_cast<std::size_t>(diagnostic.line) - 1]);
  if (diagnostics.empty()) say("no warnings\n");
}

// An immediate line runs after the program's text, so that its jumps reach the program's
// lines; once in the program, the run ends where the program's text ends. A literal the
// program leaves open is closed first, as the end of its text would close it. The line is
// checked on its own, but for its jumps, which are checked against the program.
void Session::runImmediate(std::string_view line) {
  std::string text = programText();
  if (endsInsideLiteral(text)) text += "\"\n";
  const std::size_t start = text.size();
  text += line;
  showWarnings(std::string(line), 1, 1, isNoJump);
  // Empty lines keep a broken last line of the program from reading the immediate line.
  const std::string jumps = text.substr(0, start) + "\n\n\n" + std::string(line);
  const auto immediateLine = static_cast<int>(std::count(jumps.begin(), jumps.end(), '\n')) + 1;
  showWarnings(jumps, immediateLine, 1, isJump);
  runText_ = std::move(text);
  run(start, start);
}

void Session::runFromStart() {
  if (lines_.empty()) {
    say("there is no program yet: type numbered lines, such as 10 print \"hello\"\n");
    return;
  }
  interpreter_.variables.fill(0);
  runText_ = programText();
  run(0, runText_.size());
}

// Runs runText_ from the token at `start`, until it ends, is interrupted or has run maxSteps_;
// or, once it has been in the program (the text before `programEnd`), until it leaves it.
void Session::run(std::size_t start, std::size_t programEnd) {
  interpreter_.load(runText_.c_str());
  while (!interpreter_.isDone() && interpreter_.tokenStart < runText_.c_str() + start)
    interpreter_.advance();
  if (interrupted_ != nullptr) *interrupted_ = 0;
  const char* const endOfProgram = runText_.c_str() + programEnd;
  bool inProgram = false;
  for (unsigned long long steps = 0; !interpreter_.isDone(); ++steps) {
    if (interpreter_.tokenStart < endOfProgram) {
      inProgram = true;
    } else if (inProgram) {
      return;
    }
    if (maxSteps_ && steps == *maxSteps_) {
      say("linebasic-run: stopped after " + std::to_string(steps) + " statements\n");
      return;
    }
    if (interrupted_ != nullptr && *interrupted_ != 0) {
      *interrupted_ = 0;
      const std::optional<std::int32_t> line = lineNumberOfLine(interpreter_);
      const std::string where = line ? " at line " + std::to_string(*line) : "";
      say((onTerminal_ ? "\nstopped" : "stopped") + where + "\n");
      return;
    }
    interpreter_.executeStatement();
  }
}

void Session::list(std::string_view range) const {
  const auto lines = parseRange(range);
  if (!lines) {
    say("list: type 'list', 'list N' or 'list N-M'\n");
    return;
  }
  for (auto line = lines_.lower_bound(lines->first);
       line != lines_.end() && line->first <= lines->second; ++line) {
    say(std::to_string(line->first) + line->second + "\n");
  }
}

// Replaces the program with the numbered lines of a file; any line without a number, with too
// long a number or with a number used before keeps the program as it is.
void Session::load(std::string_view file) {
  const std::string path(file);
  std::string bytes;
  if (const auto error = readProgramFile(path, bytes)) {
    say("load: " + path + ": " + *error + "\n");
    return;
  }
  const std::string text = withLineFeeds(bytes);
  if (text.find('\0') != std::string::npos) {
    say("load: " + path + ": holds a NUL byte, which no program text has; nothing was loaded\n");
    return;
  }
  std::map<int, std::string> loaded;
  std::map<int, int> fileLineOf;
  int fileLine = 0;
  for (std::size_t at = 0; at < text.size(); ++fileLine) {
    const std::size_t feed = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, feed - at);
    at = feed + 1;
    const std::string_view content = trimmed(line);
    if (content.empty()) continue;
    const std::string where = "load: " + path + ":" + std::to_string(fileLine + 1) + ": ";
    if (!isDigit(content.front())) {
      say(where + "the line has no number, and the session keeps numbered lines only; " +
          "nothing was loaded\n");
      return;
    }
    const auto numbered =
        splitNumber(line.substr(static_cast<std::size_t>(content.data() - line.data())), where);
    if (!numbered) return;
    if (fileLineOf.count(numbered->number) != 0) {
      say(where + "line number " + std::to_string(numbered->number) + " is used already on line " +
          std::to_string(fileLineOf[numbered->number]) + "; nothing was loaded\n");
      return;
    }
    fileLineOf[numbered->number] = fileLine + 1;
    loaded[numbered->number] = numbered->rest;
  }
  lines_ = std::move(loaded);
  changed_ = false;
  say("loaded " + countOfLines(lines_.size()) + " from " + path + "\n");
}

void Session::save(std::string_view file) {
  if (file.empty()) {
    say("save: which file? type 'save FILE'\n");
    return;
  }
  const std::string path(file);
  if (const auto error = replaceFile(path, programText())) {
    say("save: " + path + ": " + *error + "; the program is kept, and the file is as it was\n");
    return;
  }
  changed_ = false;
  say("saved " + countOfLines(lines_.size()) + " to " + path + "\n");
}

}  // namespace linebasic

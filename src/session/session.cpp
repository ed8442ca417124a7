// The interactive session: program lines, commands and immediate lines.
#include "session/session.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
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
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t kShownWordMax = 24;  // of an unknown command, in bytes
// Why no run reaches a line that a literal running on from a line above holds.
constexpr char kInsideLiteral[] =
    ": it is inside a literal that runs on from a line above (type 'check')\n";

constexpr std::string_view kHelp =
    "A line that starts with a number is stored in the program, in number order; the number\n"
    "alone deletes that line. Any other line runs at once, with the program's variables:\n"
    "'print x' shows x, and 'goto 100' runs the program from line 100.\n"
    "  run [N]         run the program from its first line (or line N), every variable 0\n"
    "  list [N[-M]]    show the program, or its lines N to M\n"
    "  delete N[-M]    delete line N, or lines N to M\n"
    "  edit N          put line N at the prompt to change it\n"
    "  new             forget the program and the variables\n"
    "  load FILE       replace the program with the one in FILE\n"
    "  save [FILE]     write the program to FILE (at first), or to the file last loaded or saved;\n"
    "                  a name with blanks goes in double quotes, ~/ is the home folder\n"
    "  check           warn where a run will do something else than the program seems to say\n"
    "  break [N]       stop a run before line N runs; 'break' alone lists where it stops\n"
    "  unbreak [N]     stop no more at line N; 'unbreak' alone clears every breakpoint\n"
    "  step            run one line of the stopped run (or of a new one) and show it\n"
    "  cont            go on with a run stopped at a breakpoint, a step or Ctrl-C\n"
    "  vars            show the variables that are not 0\n"
    "  trace on|off    show [N] for each line N a run reaches\n"
    "  help            show this text\n"
    "  bye             leave, as do 'quit', 'exit' and Ctrl-D; Ctrl-C stops any command\n";

std::string countOf(std::size_t count, const std::string& thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
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

// Splits a line that starts with digits; nothing when there are too many.
std::optional<NumberedLine> splitNumber(std::string_view line) {
  std::size_t digits = 0;
  while (digits < line.size() && isDigit(line[digits]))
    ++digits;
  if (digits > kLineNumberDigits) return {};
  return NumberedLine{decimalValue(std::string(line.substr(0, digits)).c_str()),
                      line.substr(digits)};
}
constexpr std::string_view kTooManyDigits = "line numbers have at most four digits: 0 to 9999\n";

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

// Numbered lines as one text, each number before its line's text, in number order.
std::string textOf(const std::map<int, std::string>& lines) {
  std::string text;
  for (const auto& [number, rest] : lines)
    text += std::to_string(number) + rest + "\n";
  return text;
}

// The line, counted from 1, where the first literal of `text` that holds a line-feed opens.
std::optional<int> lineOfLiteralAcrossLines(const std::string& text) {
  Interpreter scan;
  scan.load(text.c_str());
  for (; scan.token != TokenKind::EndOfText; scan.advance()) {
    if (scan.token == TokenKind::String &&
        std::find(scan.tokenStart, scan.tokenEnd, '\n') != scan.tokenEnd) {
      return static_cast<int>(std::count(scan.programText, scan.tokenStart, '\n')) + 1;
    }
  }
  return {};
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
std::string warningText(Diagnostic diagnostic, int line) {
  diagnostic.line = line;
  return formatDiagnostic(diagnostic, "") + "\n";
}

// A line number of one to four digits; nothing for any other text.
std::optional<int> lineNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > kLineNumberDigits ||
      !std::all_of(digits.begin(), digits.end(), isDigit)) {
    return {};
  }
  return decimalValue(std::string(digits).c_str());
}

// The lines of a range "", "N", "N-M", "N-" or "-M"; nothing for any other text.
std::optional<std::pair<int, int>> parseRange(std::string_view range) {
  if (range.empty()) return std::pair{0, 9999};
  const auto dash = range.find('-');
  if (dash == std::string_view::npos) {
    const auto line = lineNumber(range);
    if (!line) return {};
    return std::pair{*line, *line};
  }
  const auto first = dash == 0 ? std::optional(0) : lineNumber(trimmed(range.substr(0, dash)));
  const auto rest = trimmed(range.substr(dash + 1));
  const auto last = rest.empty() ? std::optional(9999) : lineNumber(rest);
  if (!first || !last || *first > *last) return {};
  return std::pair{*first, *last};
}

// "no line 25", or "no lines from 30 to 40".
std::string noLines(std::pair<int, int> range) {
  if (range.first == range.second) return "no line " + std::to_string(range.first) + "\n";
  return "no lines from " + std::to_string(range.first) + " to " + std::to_string(range.second) +
         "\n";
}

// True when a run can stop at line `number` of `text`: no literal above runs on over it.
bool runsReach(int number, const std::string& text) {
  Interpreter probe;
  probe.load(text.c_str());
  probe.jumpToLine(number);
  return !probe.isDone();
}

// The same file for every name it goes by, as far as the names can tell.
std::string identity(const std::string& path) {
  std::error_code error;
  const auto canonical = std::filesystem::weakly_canonical(path, error);
  return error ? path : canonical.string();
}

}  // namespace

Session::Session(SessionSettings settings) : settings_(settings) {
  interpreter_.variables.fill(0);
  interpreter_.output = {&Session::writeOutput, this};
  control_.setStopRequest(settings_.interrupted);
}

// What the program prints goes where the session's answers go; the session notes whether it
// ended its line, to start its next answer on a line of its own.
void Session::writeOutput(void* context, std::string_view text) {
  if (text.empty()) return;
  auto* const session = static_cast<Session*>(context);
  session->say(text);
  session->outputOpen_ = text.back() != '\n';
  session->traceOpen_ = false;
}

void Session::breakOutputLine() {
  if (outputOpen_) say("\n");
  outputOpen_ = false;
  traceOpen_ = false;
}

void Session::say(std::string_view text) const {
  if (settings_.output.write != nullptr)
    return settings_.output.write(settings_.output.context, text);
  std::fwrite(text.data(), 1, text.size(), stdout);
}

// Apart from the answers: to standard error, after what standard output holds so far.
void Session::sayApart(std::string_view text) const {
  if (settings_.errors.write != nullptr)
    return settings_.errors.write(settings_.errors.context, text);
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
}

std::span<const Session::Command> Session::commands() {
  static constexpr std::array<Command, 18> kTable = {{
      {"run", true, &Session::run},
      {"list", true, &Session::list},
      {"delete", true, &Session::deleteLines},
      {"edit", true, &Session::edit},
      {"new", false, &Session::newProgram},
      {"load", true, &Session::load},
      {"save", true, &Session::save},
      {"check", false, &Session::check},
      {"break", true, &Session::setBreakpoint},
      {"unbreak", true, &Session::clearBreakpoint},
      {"step", false, &Session::step},
      {"cont", false, &Session::cont},
      {"vars", false, &Session::vars},
      {"trace", true, &Session::trace},
      {"help", false, &Session::help},
      {"bye", false, &Session::bye},
      {"quit", false, &Session::bye},  // what many other prompts leave with
      {"exit", false, &Session::bye},
  }};
  return kTable;
}

bool Session::handleLine(std::string_view line) {
  ++linesRead_;
  asked_ = std::exchange(asking_, {});
  outputOpen_ = false;  // the typed line's line-feed ended the line
  try {
    handle(line);
  } catch (const std::bad_alloc&) {
    complain("not enough memory for that; the program is as it was\n");
  }
  return !over_;
}

bool Session::endOfInput() {
  return handleLine("bye");
}

void Session::handle(std::string_view line) {
  const std::string_view text = trimmed(line);
  if (text.empty()) return;
  if (isDigit(text.front())) {
    storeLine(line.substr(static_cast<std::size_t>(text.data() - line.data())));
    return;
  }
  typed_ = text;
  const std::string_view word = text.substr(0, text.find_first_of(" \t"));
  const std::string_view argument = trimmed(text.substr(word.size()));
  const auto commandList = commands();
  const auto named = [&](std::string_view name) {
    return std::find_if(commandList.begin(), commandList.end(),
                        [&](const Command& command) { return command.name == name; });
  };
  if (const auto command = named(word); command != commandList.end()) {
    if (!command->takesArgument && !argument.empty()) {
      complain("'" + std::string(word) + "' takes no argument\n");
      return;
    }
    (this->*command->action)(argument);
    return;
  }
  std::string lower(word);
  std::transform(lower.begin(), lower.end(), lower.begin(), check::lowered);
  if (named(lower) != commandList.end()) {
    complain("commands are lower case: type '" + lower + "'\n");
    return;
  }
  if (!isUnknownCommand(text)) runImmediate(text);
}

// A first word of several letters that is no keyword is no statement either: it is answered,
// with the checker's warning about it when it has one that says more than "unknown word", and
// not run.
bool Session::isUnknownCommand(std::string_view text) {
  const auto* const end = std::find_if(text.begin(), text.end(),
                                       [](char c) { return !check::isLetter(c) && !isDigit(c); });
  const std::string word(text.begin(), end);
  if (std::count_if(word.begin(), word.end(), check::isLetter) < 2 ||
      interpreter_.keywords.count(word) != 0) {
    return false;
  }
  bool warned = false;
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    if (diagnostic.line == 1 && diagnostic.column == 1 &&
        diagnostic.name != check::name::kUnknownWord) {
      warn(diagnostic, 1);
      warned = true;
    }
  }
  if (warned) {
    failed_ = true;
  } else {
    // The word as typed, to the first blank, and no longer than a command could be: cut
    // before a character's first byte, not inside it.
    std::string_view typed = text.substr(0, text.find_first_of(" \t"));
    const bool cut = typed.size() > kShownWordMax;
    if (cut) {
      std::size_t size = kShownWordMax;
      while (size > 0 && (static_cast<unsigned char>(typed[size]) & 0xC0) == 0x80)
        --size;
      typed = typed.substr(0, size);
    }
    // What other debuggers and BASICs call some of the commands.
    static constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kOtherNames = {
        {{"continue", "cont"}, {"tron", "trace on"}, {"troff", "trace off"}}};
    std::string hint = "'help' lists them";
    for (const auto& [other, ours] : kOtherNames) {
      if (word == other) hint = "type '" + std::string(ours) + "'";
    }
    complain("unknown command '" + std::string(typed) + (cut ? "...'" : "'") + ": " + hint + "\n");
  }
  return true;
}

// A warning under a typed line, shown as on line `line`. A script's go to standard error with
// its own line, in the form of compilers: "<stdin>:3:4: warning: ...".
void Session::warn(Diagnostic diagnostic, int line) const {
  if (!settings_.errorsApart) return say(warningText(diagnostic, line));
  diagnostic.line = static_cast<int>(linesRead_);
  sayApart(formatDiagnostic(diagnostic, "<stdin>") + "\n");
}

// Errors go where the settings say, and are remembered for the exit status.
void Session::complain(const std::string& message) {
  failed_ = true;
  if (!settings_.errorsApart) {
    say(message);
    return;
  }
  // A script's errors name its line, as compilers and database shells do.
  sayApart((linesRead_ == 0 ? "" : "<stdin>:" + std::to_string(linesRead_) + ": ") + message);
}

bool Session::stopRequested() const {
  return settings_.interrupted != nullptr && settings_.interrupted->exchange(0) != 0;
}

// On a terminal, Ctrl-C left "^C" on the line.
void Session::sayStopped(const std::string& where) {
  if (settings_.onTerminal) {
    outputOpen_ = true;
  }
  breakOutputLine();
  say("stopped" + where + "\n");
}

// True when the line before asked to have this `key` typed again; otherwise asks so now.
bool Session::confirmed(const std::string& key, const std::string& question) {
  if (asked_ == key) return true;
  complain(question);
  asking_ = key;
  return false;
}

// Unsaved changes are given up only when the command comes twice in a row. `name` is the command
// ("bye" for each way of leaving); `again`, when given, is what must come again (by default the
// command's word) and tells one question from another.
bool Session::confirmDiscard(std::string_view name, std::string_view again) {
  if (!changed_) return true;
  const std::string typed =
      again.empty() ? typed_.substr(0, typed_.find_first_of(" \t")) : std::string(again);
  return confirmed(std::string(name) + "\n" + std::string(again),
                   "the program has changes that are not saved: type '" + typed + "' again to " +
                       (name == "bye" ? "leave" : "go on") +
                       " without saving them, or 'save FILE'\n");
}

// NUMBER [text]: stores the text typed after the number, or deletes the line.
void Session::storeLine(std::string_view line) {
  const std::optional<NumberedLine> numbered = splitNumber(line);
  if (!numbered) {
    complain(std::string(kTooManyDigits));
    return;
  }
  if (trimmed(numbered->rest).empty()) {
    if (lines_.erase(numbered->number) == 0) return;
    changed_ = true;
    endStoppedRun();
    dropBreakpoints(numbered->number, numbered->number);
    return noteUnreachableBreakpoints();
  }
  std::string& stored = lines_[numbered->number];
  if (stored != numbered->rest || !stopped_) {
    stored = numbered->rest;
    changed_ = true;
    endStoppedRun();  // the same line typed again changes nothing
  }
  const auto position = std::distance(lines_.begin(), lines_.find(numbered->number));
  showWarnings(programText(), static_cast<int>(position) + 1, numbered->number, shownWhileTyping);
  noteUnreachableBreakpoints();
}

std::string Session::programText() const {
  return textOf(lines_);
}

// The checker's warnings on line `line` of `text` whose names pass `shown`, shown as on line
// `shownAs`.
void Session::showWarnings(const std::string& text, int line, int shownAs,
                           bool (*shown)(std::string_view name)) const {
  for (const Diagnostic& diagnostic : checkProgram(text)) {
    if (diagnostic.line == line && shown(diagnostic.name)) warn(diagnostic, shownAs);
  }
}

// check: every warning of the whole program, by its line numbers.
void Session::check(std::string_view /*argument*/) {
  const std::vector<Diagnostic> diagnostics = checkProgram(programText());
  std::vector<int> numbers;
  for (const auto& entry : lines_)
    numbers.push_back(entry.first);
  for (const Diagnostic& diagnostic : diagnostics) {
    if (stopRequested()) return sayStopped("");
    say(warningText(diagnostic, numbers[static_cast<std::size_t>(diagnostic.line) - 1]));
  }
  if (diagnostics.empty()) say("no warnings\n");
}

void Session::help(std::string_view /*argument*/) {
  say(kHelp);
}

// Leaving asks about unsaved changes at a terminal; a script, which cannot answer, just ends.
void Session::bye(std::string_view /*argument*/) {
  over_ = settings_.errorsApart || confirmDiscard("bye");
}

void Session::newProgram(std::string_view /*argument*/) {
  if (!confirmDiscard("new")) return;
  lines_.clear();
  endStoppedRun();
  clearAllBreakpoints(" of the old program");
  interpreter_.variables.fill(0);
  changed_ = false;
  fileName_.clear();  // `save` alone must not write the new program over the old one's file
}

// An immediate line is checked on its own, but for its jumps, which are checked against the
// program.
void Session::runImmediate(std::string_view line) {
  showWarnings(std::string(line), 1, 1, isNoJump);
  // A variable without '=' would be set to 0: `i`, typed to see i, or a debugger's `c` or
  // `b 10`, would change what a stopped run goes on with.
  for (const Diagnostic& diagnostic : checkProgram(line)) {
    if (diagnostic.name != check::name::kMissingEquals) continue;
    // The variable is the last letter before what stands in place of the '='.
    std::size_t at = std::min(line.size(), static_cast<std::size_t>(diagnostic.column - 1));
    while (at > 0 && isBlank(line[at - 1]))
      --at;
    const char name = at > 0 && isLower(line[at - 1]) ? line[at - 1] : 'x';
    std::string message = "not run: it would set ";
    message.append(1, name).append(" to 0; type 'print ").append(1, name).append("' to show ");
    // Debuggers' one-letter commands (`c`, `s`, `n`) are likely meant while a run is stopped.
    return complain(message.append(1, name).append(stopped_ ? ", 'cont' or 'step' to go on\n"
                                                            : ", 'help' for the commands\n"));
  }
  // Empty lines keep a broken last line of the program from reading the immediate line.
  const std::string jumps = programText() + "\n\n\n" + std::string(line);
  const auto immediateLine = static_cast<int>(std::count(jumps.begin(), jumps.end(), '\n')) + 1;
  showWarnings(jumps, immediateLine, 1, isJump);
  runAfterProgram(line);
}

// A line runs after the program's text, so that its jumps reach the program's lines; once in
// the program, the run ends where the program's text ends (where it reaches the line again).
// A literal the program leaves open is closed first, as the end of its text would close it.
// The run stops at breakpoints, and can go on, as any run. A run stopped before waits beside
// the line, sharing its variables, and stands where it stood once the line's run is done.
void Session::runAfterProgram(std::string_view line) {
  std::string text = programText();
  if (endsInsideLiteral(text)) text += "\"\n";
  const std::size_t start = text.size();
  const auto ownLine = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
  text += line;
  if (stopped_) waiting_.push_back({saveRunPoint(interpreter_), std::move(runText_)});
  setRun(std::move(text), ownLine);
  while (!interpreter_.isDone() && interpreter_.tokenStart < runText_->c_str() + start)
    interpreter_.advance();
  control_.takePosition();
  // Coming back to a run stopped before is told after a jump into the program, not after
  // `print x`.
  const bool jumps =
      line.find("goto") != std::string_view::npos || line.find("gosub") != std::string_view::npos;
  goOn(false, jumps);
}

// The run that waited beside the one that ended stands again where it stood.
void Session::resumeWaitingRun(bool announce) {
  runText_ = std::move(waiting_.back().text);
  control_.start(runText_->c_str());
  placeBreakpoints({});
  restoreRunPoint(interpreter_, waiting_.back().point);
  waiting_.pop_back();
  control_.takePosition();
  stopped_ = true;
  if (const std::optional<int> line = stoppedAt(); announce && line) {
    breakOutputLine();
    say("back to the run stopped at line " + std::to_string(*line) + "\n");
  }
}

// run [N]: from the first line, or from line N as `goto N` would, with every variable 0.
void Session::run(std::string_view argument) {
  const std::optional<int> from = lineNumber(argument);
  if (!argument.empty() && !from) {
    complain("run: type 'run', or 'run N' to start at line N\n");
  } else if (lines_.empty()) {
    complain("there is no program yet: type numbered lines, such as 10 print \"hello\"\n");
  } else if (from && lines_.count(*from) == 0) {
    complain(noLines({*from, *from}));
  } else {
    startRun(from);
    if (from && interpreter_.isDone()) {
      stopped_ = false;
      return complain("run: no jump finds line " + std::to_string(*from) + kInsideLiteral);
    }
    goOn(false);
  }
}

// A new run at the program's first line, or at line `from` as `goto` finds it, with every
// variable 0 and the breakpoints on their lines.
void Session::startRun(std::optional<int> from) {
  interpreter_.variables.fill(0);
  waiting_.clear();
  setRun(programText(), {});
  if (from) interpreter_.jumpToLine(*from);
}

// Sets `text`, the program's lines and maybe more, as the run's, at its top; the run stops at
// the breakpoints' lines and at text line `leftAt`, where it leaves the program.
void Session::setRun(std::string text, std::optional<int> leftAt) {
  runText_ = std::make_unique<const std::string>(std::move(text));
  control_.start(runText_->c_str());
  placeBreakpoints(leftAt);
  stopped_ = true;
}

void Session::placeBreakpoints(std::optional<int> leftAt) {
  control_.clearBreakpoints();
  for (const int number : breakpoints_)
    control_.setBreakpoint(textLine(number));
  if (leftAt) control_.setBreakpoint(*leftAt);
}

// The run goes on until it ends, reaches a breakpoint, has run maxSteps statements or is
// interrupted; stepping, until it reaches its next line. A step shows the line before it
// runs, and after it the variables it changed.
void Session::goOn(bool stepping, bool announceReturn) {
  runAndReport(stepping);
  if (!stopped_ && !waiting_.empty()) resumeWaitingRun(announceReturn);
}

void Session::runAndReport(bool stepping) {
  const std::uint64_t before = control_.statements();
  const std::uint64_t bound = settings_.maxSteps.value_or(RunControl::kNoBound);
  if (const std::optional<int> line = stoppedAt(); stepping && line) say(shownLine(*line) + "\n");
  const char* lastStatement = nullptr;
  stepping_ = stepping;
  StopReason reason = runOn(stepping, bound, lastStatement);
  stepping_ = false;
  stopped_ = reason != StopReason::Ended;
  const std::optional<int> line = stoppedAt();
  if (stopped_ && !line) {
    stopped_ = false;  // at a line after the program's: the run has left the program
    reason = StopReason::Ended;
  }
  const std::string ending = reason == StopReason::Ended ? missedJump(lastStatement) : "";
  const std::string where = line ? " at line " + std::to_string(*line) : "";
  if (reason == StopReason::StepBound) {
    breakOutputLine();
    return complain("stopped after " +
                    countOf(static_cast<std::size_t>(control_.statements() - before), "statement") +
                    where + " (--max-steps)\n");
  }
  if (reason == StopReason::Interrupted) return sayStopped(where);
  if (!ending.empty() && !stepping) {
    breakOutputLine();
    say("the run ended" + ending + "\n");
  }
  if (reason == StopReason::Ended && !stepping) return endRun();
  if (stepping) {
    breakOutputLine();
    std::string changes;
    for (const VariableChange& change : control_.changes())
      changes += std::string(changes.empty() ? "" : "  ") + change.name + " = " +
                 std::to_string(change.after);
    if (!changes.empty()) say(changes + "\n");
    if (reason == StopReason::Ended) say("the run has ended" + ending + "\n");
  } else if (reason == StopReason::Breakpoint && line) {
    breakOutputLine();
    say("break at " + shownLine(*line) + "\n");
  }
}

// Runs on for at most `bound` statements, in slices, so that when the run ends, not at END,
// finding the statement that ended it (`last`) runs no more than a slice again.
StopReason Session::runOn(bool stepping, std::uint64_t bound, const char*& last) {
  constexpr std::uint64_t kSlice = std::uint64_t{1} << 20;
  const std::uint64_t start = control_.statements();
  StopReason reason = StopReason::StepBound;
  while (reason == StopReason::StepBound && control_.statements() - start < bound) {
    const std::uint64_t slice = std::min(kSlice, bound - (control_.statements() - start));
    reason = stepping ? control_.step(slice) : control_.resume(slice);
  }
  if (reason == StopReason::Ended && interpreter_.endReached == 0)
    last = control_.endingStatement();
  return reason;
}

// When a run ended, not at END, after a statement on a line with a jump to a line that is not
// there: " at line 20: no line is numbered 75", as the checker puts it; otherwise empty. The
// run's text starts with the program's, which no edit has changed since: a run stops then.
std::string Session::missedJump(const char* last) const {
  if (last == nullptr) return {};
  const auto textLine = static_cast<std::size_t>(std::count(runText_->c_str(), last, '\n')) + 1;
  if (textLine > lines_.size()) return {};
  const std::string program = programText();
  const std::string missed =
      linebasic::missedJump(program.c_str(), program.c_str() + (last - runText_->c_str()));
  if (missed.empty()) return {};
  return " at line " + std::to_string(numberOfLine(textLine)) + ": " + missed;
}

// Editing the program ends a stopped run: it could not go on in a text that changed.
void Session::endStoppedRun() {
  waiting_.clear();
  if (!stopped_) return;
  const std::optional<int> line = stoppedAt();
  stopped_ = false;
  say("the run stopped" + (line ? " at line " + std::to_string(*line) : std::string()) +
      " is over, since the program changed\n");
}

// The number of the line a stopped run stands on, read from the run's own text: the program
// may have changed since the run started.
std::optional<int> Session::stoppedAt() const {
  if (!stopped_) return {};
  const std::optional<int> line = control_.line();
  if (!line || *line < 1) return {};
  std::string_view text = *runText_;
  for (int i = 1; i < *line; ++i)
    text.remove_prefix(std::min(text.size(), text.find('\n') + 1));
  const std::optional<NumberedLine> numbered = splitNumber(text);
  if (!numbered || numbered->rest.size() == text.size()) return {};
  return numbered->number;
}

// Line `number` as a trace and a step show it: "[30] x=x+i".
std::string Session::shownLine(int number) const {
  const auto line = lines_.find(number);
  return "[" + std::to_string(number) + "]" + (line == lines_.end() ? "" : line->second);
}

// The number of the program's text line `line`, counted from 1.
int Session::numberOfLine(std::size_t line) const {
  return std::next(lines_.begin(), static_cast<std::ptrdiff_t>(line) - 1)->first;
}

// The line of the program's text that holds line `number`, counted from 1.
int Session::textLine(int number) const {
  return static_cast<int>(std::distance(lines_.begin(), lines_.find(number))) + 1;
}

// step: one line of the stopped run, or the first of a new one.
void Session::step(std::string_view /*argument*/) {
  if (!stopped_) {
    if (lines_.empty())
      return complain("there is no program yet: type numbered lines, such as 10 print \"hello\"\n");
    say("a new run starts, with every variable 0\n");
    startRun({});
  }
  goOn(true);
}

// cont: the stopped run goes on, as after a breakpoint, a step or Ctrl-C.
void Session::cont(std::string_view /*argument*/) {
  if (!stopped_) return complain("no run is stopped: type 'run', or 'step' to run one line\n");
  goOn(false);
}

// vars: the variables that are not 0, as "i = 4  x = 55".
void Session::vars(std::string_view /*argument*/) {
  std::string shown;
  for (std::size_t i = 0; i < interpreter_.variables.size(); ++i) {
    if (interpreter_.variables[i] == 0) continue;
    shown += std::string(shown.empty() ? "" : "  ") + static_cast<char>('a' + i) + " = " +
             std::to_string(interpreter_.variables[i]);
  }
  say(shown.empty() ? "every variable is 0\n" : shown + "\n");
}

// break N: a run stops before line N runs; break alone lists the lines it stops at.
void Session::setBreakpoint(std::string_view argument) {
  if (argument.empty()) {
    if (breakpoints_.empty()) return say("no breakpoints: type 'break N' to stop at line N\n");
    std::string shown;
    for (const int number : breakpoints_)
      shown += (shown.empty() ? "" : ", ") + std::to_string(number);
    std::string unreachable;
    for (const int number : unreachable_)
      unreachable += (unreachable.empty() ? "" : ", ") + std::to_string(number);
    return say(
        (breakpoints_.size() == 1 ? "a breakpoint at line " : "breakpoints at lines ") + shown +
        (unreachable.empty() ? "" : " (no run stops at " + unreachable + ": inside a literal)") +
        "\n");
  }
  const std::optional<int> number = lineNumber(argument);
  if (!number) return complain("break: type 'break N' to stop before line N runs\n");
  if (lines_.count(*number) == 0) return complain(noLines({*number, *number}));
  if (!runsReach(*number, programText())) {
    return complain("break: a run never stops at line " + std::to_string(*number) + kInsideLiteral);
  }
  if (!breakpoints_.insert(*number).second)
    return say("line " + std::to_string(*number) + " has a breakpoint already\n");
  if (stopped_) control_.setBreakpoint(textLine(*number));
  say("a run stops before line " + std::to_string(*number) + " runs\n");
}

// unbreak N: no more stops at line N; unbreak alone clears every breakpoint.
void Session::clearBreakpoint(std::string_view argument) {
  if (argument.empty()) {
    if (breakpoints_.empty()) return say("there were no breakpoints\n");
    return clearAllBreakpoints();
  }
  const std::optional<int> number = lineNumber(argument);
  if (!number) return complain("unbreak: type 'unbreak N', or 'unbreak' to clear them all\n");
  if (breakpoints_.count(*number) == 0)
    return complain("no breakpoint at line " + std::to_string(*number) + "\n");
  if (stopped_) control_.clearBreakpoint(textLine(*number));
  breakpoints_.erase(*number);
  unreachable_.erase(*number);
  say("cleared the breakpoint at line " + std::to_string(*number) + "\n");
}

// Every breakpoint goes, and the count is told: `unbreak`, and a program replaced or forgotten
// (`whose`: " of the old program").
void Session::clearAllBreakpoints(std::string_view whose) {
  const std::size_t count = breakpoints_.size();
  breakpoints_.clear();
  unreachable_.clear();
  control_.clearBreakpoints();
  if (count != 0) say("cleared " + countOf(count, "breakpoint") + std::string(whose) + "\n");
}

// The breakpoints of lines `first` to `last`, which an edit deleted, go with them.
void Session::dropBreakpoints(int first, int last) {
  const auto from = breakpoints_.lower_bound(first);
  const auto to = breakpoints_.upper_bound(last);
  if (from == to) return;
  std::string dropped;
  for (auto number = from; number != to; ++number)
    dropped += (dropped.empty() ? "" : ", ") + std::to_string(*number);
  const bool several = std::next(from) != to;
  breakpoints_.erase(from, to);
  say(std::string(several ? "the breakpoints at lines " : "the breakpoint at line ") + dropped +
      (several ? " went with their lines\n" : " went with its line\n"));
}

// After an edit: names each breakpoint that no run reaches any more, since a literal that runs
// on from a line above now holds its line. It stays, for when the literal is closed.
void Session::noteUnreachableBreakpoints() {
  std::set<int> unreachable;
  const std::string text = breakpoints_.empty() ? std::string() : programText();
  for (const int number : breakpoints_) {
    if (runsReach(number, text)) continue;
    unreachable.insert(number);
    if (unreachable_.count(number) == 0)
      say("line " + std::to_string(number) + " is inside a literal now: no run stops there\n");
  }
  unreachable_ = std::move(unreachable);
}

// trace on, trace off: [N] before each line N a run reaches, as the program prints.
void Session::trace(std::string_view argument) {
  if (argument != "on" && argument != "off") {
    if (argument.empty()) return say(tracing_ ? "trace is on\n" : "trace is off\n");
    return complain("trace: type 'trace on' or 'trace off'\n");
  }
  tracing_ = argument == "on";
  if (!tracing_) return control_.setLineTrace({});
  control_.setLineTrace([this](std::int32_t number) {
    if (stepping_) return;
    writeOutput(this, "[" + std::to_string(number) + "]");
    traceOpen_ = true;
  });
}

// At a terminal, the prompt after a run starts a line of its own, even after "print x;"; in a
// script, what comes next starts one after a trace, as the trace of linebasic-run ends.
void Session::endRun() {
  if (settings_.onTerminal || traceOpen_) breakOutputLine();
}

void Session::list(std::string_view argument) {
  const auto range = parseRange(argument);
  if (!range) return complain("list: type 'list', 'list N' or 'list N-M' (N not above M)\n");
  if (lines_.empty()) return say("the program is empty\n");
  // While a run is stopped, an arrow marks the line it stands on.
  const std::optional<int> at = stoppedAt();
  bool any = false;
  for (auto line = lines_.lower_bound(range->first);
       line != lines_.end() && line->first <= range->second; ++line) {
    if (stopRequested()) return sayStopped("");
    const std::string_view mark = !at ? "" : line->first == *at ? "-> " : "   ";
    say(std::string(mark) + std::to_string(line->first) + line->second + "\n");
    any = true;
  }
  if (!any) say(noLines(*range));
}

// delete N, delete N-M: the classic way to take out lines.
void Session::deleteLines(std::string_view argument) {
  const auto range = parseRange(argument);
  if (argument.empty() || !range)
    return complain("delete: type 'delete N' or 'delete N-M' (N not above M)\n");
  const auto first = lines_.lower_bound(range->first);
  const auto last = lines_.upper_bound(range->second);
  const auto count = static_cast<std::size_t>(std::distance(first, last));
  if (count == 0) return complain(noLines(*range));
  lines_.erase(first, last);
  changed_ = true;
  say("deleted " + countOf(count, "line") + "\n");
  endStoppedRun();
  dropBreakpoints(range->first, range->second);
  noteUnreachableBreakpoints();
}

// edit N: line N at the next prompt to change; where the reader cannot do that, shown to retype.
void Session::edit(std::string_view argument) {
  const std::optional<int> number = lineNumber(argument);
  if (!number) return complain("edit: type 'edit N' to change line N\n");
  const auto line = lines_.find(*number);
  if (line == lines_.end()) return complain(noLines({*number, *number}));
  const std::string text = std::to_string(line->first) + line->second;
  if (settings_.canEdit) {
    lineToEdit_ = text;
  } else {
    say(text + "\n");
  }
}

// The file a command names: in double quotes when the name holds blanks; "~/" at its start is
// the home folder. Nothing, after saying why, for a name of another form.
std::optional<std::string> Session::fileName(std::string_view command, std::string_view argument) {
  std::string name(argument);
  if (argument == "\"\"") {
    complain(std::string(command) + ": the file name in double quotes is empty\n");
    return {};
  }
  if (argument.front() == '"') {
    if (argument.size() < 3 || argument.back() != '"' ||
        argument.substr(1, argument.size() - 2).find('"') != std::string_view::npos) {
      complain(std::string(command) + ": a file name in double quotes ends at its second quote\n");
      return {};
    }
    name = argument.substr(1, argument.size() - 2);
  } else if (argument.find_first_of(" \t") != std::string_view::npos) {
    complain(std::string(command) + ": put a file name with blanks in double quotes: " +
             std::string(command) + " \"my program.bas\"\n");
    return {};
  }
  if (name == "~" || name.rfind("~/", 0) == 0) {
    const char* const home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      complain(std::string(command) +
               ": ~ stands for the home folder, which HOME names, and HOME is not set: give " +
               "the whole path\n");
      return {};
    }
    name = std::string(home) + name.substr(1);
  }
  return name;
}

void Session::load(std::string_view argument) {
  if (argument.empty()) return complain("load: which file? type 'load FILE'\n");
  const std::optional<std::string> path = fileName("load", argument);
  if (path) loadFile(*path, true);
}

// Replaces the program with the numbered lines of a file. Any line without a number, with too
// long a number, or with a number not above the one before keeps the program as it is: the
// session keeps its lines in number order, and a file in another order would run otherwise.
// With `asking`, unsaved changes are given up only once the file is found fit to load.
void Session::loadFile(const std::string& path, bool asking) {
  std::string bytes;
  if (const auto error = loadProgramFile(path, bytes, settings_.interrupted)) {
    if (settings_.interrupted != nullptr) settings_.interrupted->store(0);
    return complain("load: " + path + ": " + *error + "; nothing was loaded\n");
  }
  if (bytes.rfind(kByteOrderMark, 0) == 0) bytes.erase(0, kByteOrderMark.size());
  const std::string text = withLineFeeds(bytes);
  bytes = std::string();
  if (text.find('\0') != std::string::npos)
    return complain("load: " + path + ": holds a NUL byte, which no program text has; " +
                    "nothing was loaded\n");
  std::map<int, std::string> loaded;
  std::map<int, int> fileLineOf;
  int fileLine = 0;
  for (std::size_t at = 0; at < text.size(); ++fileLine) {
    const std::size_t feed = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, feed - at);
    at = feed + 1;
    // Blanks at the end stay: a literal that runs on over the line's end prints them.
    std::string_view content = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
    if (trimmed(content).empty()) continue;
    if (stopRequested()) return complain("load: " + path + ": stopped; nothing was loaded\n");
    const std::string where = "load: " + path + ":" + std::to_string(fileLine + 1) + ": ";
    if (!isDigit(content.front()))
      return complain(where + "the line has no number, and the session keeps numbered lines " +
                      "only; nothing was loaded\n");
    const auto numbered = splitNumber(content);
    if (!numbered) return complain(where + std::string(kTooManyDigits));
    const int number = numbered->number;
    if (fileLineOf.count(number) != 0)
      return complain(where + "line number " + std::to_string(number) +
                      " is used already on text line " + std::to_string(fileLineOf[number]) +
                      "; nothing was loaded\n");
    if (!loaded.empty() && number < loaded.rbegin()->first)
      return complain(where + "line " + std::to_string(number) + " comes after line " +
                      std::to_string(loaded.rbegin()->first) +
                      ", and the session keeps lines in number order, which would change " +
                      "what the program does; nothing was loaded\n");
    fileLineOf[number] = fileLine + 1;
    loaded.emplace_hint(loaded.end(), number, numbered->rest);
  }
  const std::string kept = textOf(loaded);
  // The session keeps the numbered lines, not the file's blanks and empty lines between them;
  // that changes what the run does only inside a literal that runs on over a line's end.
  std::optional<int> literal;
  if (kept != text) {
    literal = lineOfLiteralAcrossLines(text);
    if (const auto keptLine = lineOfLiteralAcrossLines(kept); !literal && keptLine)
      literal = fileLineOf[std::next(loaded.begin(), *keptLine - 1)->first];
  }
  if (literal) {
    return complain("load: " + path + ":" + std::to_string(*literal) +
                    ": the literal that opens here runs on over the line's end, and the " +
                    "session would not keep the blanks or empty lines the file has inside it; " +
                    "nothing was loaded (linebasic-run runs the file as it is)\n");
  }
  if (asking && !confirmDiscard("load", typed_)) return;
  lines_ = std::move(loaded);
  endStoppedRun();
  changed_ = false;
  fileName_ = path;
  ownFiles_.insert(identity(path));
  const std::size_t warnings = checkProgram(programText()).size();
  say("loaded " + countOf(lines_.size(), "line") + " from " + path + "; " +
      (warnings == 0 ? "no warnings" : countOf(warnings, "warning") + ": type 'check'") + "\n");
  clearAllBreakpoints(" of the old program");  // they belong to their program
}

// save [FILE]: writes the program; a file this session did not load or save, or one that
// denies writing, is replaced only when asked twice.
void Session::save(std::string_view argument) {
  std::optional<std::string> path = fileName_;
  if (!argument.empty()) {
    path = fileName("save", argument);
    if (!path) return;
  } else if (fileName_.empty()) {
    return complain("save: which file? type 'save FILE'\n");
  }
  const std::string kept = "; the program is still in the session";
  const SaveTarget target = findSaveTarget(*path);
  if (target.refusal)
    return complain("save: " + *path + ": " + *target.refusal + kept +
                    ", and nothing was written\n");
  if (target.exists && (target.readOnly || ownFiles_.count(identity(target.path)) == 0)) {
    const std::string question = *path + (target.readOnly ? " is read-only" : " exists") +
                                 ": type '" + typed_ + "' again to replace it\n";
    if (!confirmed("save\n" + identity(target.path), question)) return;
  }
  if (const auto failure = saveProgramFile(target, programText())) {
    return complain("save: " + *path + ": " + failure->reason + kept +
                    (!target.exists        ? ", and nothing was written\n"
                     : failure->fileIntact ? ", and the file is as it was\n"
                                           : ", and the file could not be put back as it was\n"));
  }
  changed_ = false;
  fileName_ = *path;
  ownFiles_.insert(identity(target.path));
  say("saved " + countOf(lines_.size(), "line") + " to " + *path + "\n");
}

}  // namespace linebasic

// The interactive session: the command table, typed lines, editing commands, messages and help.
#include "session/session.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "check/check.h"
#include "check/checker.h"
#include "scanner/scanner.h"
#include "session/session_text.h"

namespace linebasic {
namespace {

constexpr std::size_t kShownWordMax = 24;  // of an unknown command, in bytes

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
    "  fix             apply the fix of every warning that has one, and show each\n"
    "  renum [N [M]]   renumber the lines from N by M (10 and 10), and the jumps to them\n"
    "  break [N]       stop a run before line N runs ('break N if x > 5': only then);\n"
    "                  'break' alone lists where it stops\n"
    "  unbreak [N]     stop no more at line N; 'unbreak' alone clears every breakpoint\n"
    "  step            run one line of the stopped run (or of a new one) and show it\n"
    "  over, out       run the line and a GOSUB on it whole; run until the subroutine returns\n"
    "  stack           show the active GOSUBs and FOR loops, innermost first\n"
    "  watch [x]       stop a run, forward or back, when x changes; unwatch [x] stops that\n"
    "  cont            go on with a run stopped at a breakpoint, a step or Ctrl-C\n"
    "  back [N]        take the run back N lines (1), from where it stopped or ended\n"
    "  rcont           take the run back to the last breakpoint it reached, or its start\n"
    "  vars            show the variables that are not 0\n"
    "  trace on|off    show [N] for each line N a run reaches\n"
    "  help            show this text\n"
    "  bye             leave, as do 'quit', 'exit' and Ctrl-D; Ctrl-C stops any command\n"
    "A line runs when a statement starts on it: so say the trace, step and breakpoints.\n";

// Which warnings are shown under a stored line: not those that wait for lines not typed yet (a
// jump's target, a loop's NEXT). Under an immediate line, checked alone: all but its jumps'.
// Not the warnings on a program's shape, which a program typed line by line has until its
// last line is in.
bool shownWhileTyping(std::string_view name) {
  return name != check::name::kMissingLine && name != check::name::kForWithoutNext &&
         name != check::name::kReturnWithoutGosub && name != check::name::kFallsIntoSubroutine;
}
bool isNoJump(std::string_view name) {
  return name != check::name::kMissingLine;
}
bool isJump(std::string_view name) {
  return name == check::name::kMissingLine;
}

// What warnings under an immediate line are shown on: that line has no number.
constexpr int kImmediateLine = -1;

// A warning, shown as on line `line`, or by its column alone under an immediate line.
std::string warningText(Diagnostic diagnostic, int line) {
  if (line == kImmediateLine) {
    return "column " + std::to_string(diagnostic.column) + ": warning: " + diagnostic.message +
           " [" + std::string(diagnostic.name) + "]\n";
  }
  diagnostic.line = line;
  return formatDiagnostic(diagnostic, "") + "\n";
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
  static constexpr std::array<Command, 27> kTable = {{
      {"run", true, &Session::run},
      {"list", true, &Session::list},
      {"delete", true, &Session::deleteLines},
      {"edit", true, &Session::edit},
      {"new", false, &Session::newProgram},
      {"load", true, &Session::load},
      {"save", true, &Session::save},
      {"check", false, &Session::check},
      {"fix", false, &Session::fix},
      {"renum", true, &Session::renum},
      {"break", true, &Session::setBreakpoint},
      {"unbreak", true, &Session::clearBreakpoint},
      {"step", false, &Session::step},
      {"cont", false, &Session::cont},
      {"back", true, &Session::back},
      {"rcont", false, &Session::rcont},
      {"over", false, &Session::over},
      {"out", false, &Session::out},
      {"stack", false, &Session::stack},
      {"watch", true, &Session::watch},
      {"unwatch", true, &Session::unwatch},
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
      warn(diagnostic, kImmediateLine);
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

// An interrupt stopped a command. On a terminal, Ctrl-C left "^C" on the line. A script
// ends, as a shell's does, naming its line.
void Session::sayStopped(const std::string& message) {
  if (settings_.onTerminal) outputOpen_ = true;
  breakOutputLine();
  if (!settings_.errorsApart) return say(message + "\n");
  over_ = true;
  endedByInterrupt_ = true;
  complain(message + "; SIGINT ends the script\n");
}

void Session::stopScript() {
  sayStopped(linesRead_ == 0 ? "stopped before the first line" : "stopped after this line");
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
  for (auto diagnostic = diagnostics.begin(); diagnostic != diagnostics.end(); ++diagnostic) {
    const int number = numbers[static_cast<std::size_t>(diagnostic->line) - 1];
    if (stopRequested()) {
      return sayStopped(
          "stopped the warnings at line " + std::to_string(number) + ": " +
          countOf(static_cast<std::size_t>(diagnostics.end() - diagnostic), "warning") +
          " not shown");
    }
    say(warningText(*diagnostic, number));
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
  say("forgot " + countOf(lines_.size(), "line") + " and every variable: the program is empty\n");
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
  showWarnings(std::string(line), 1, kImmediateLine, isNoJump);
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
  showWarnings(jumps, immediateLine, kImmediateLine, isJump);
  runAfterProgram(line);
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
    if (stopRequested()) {
      return sayStopped("stopped the listing at line " + std::to_string(line->first) +
                        ": type 'list " + std::to_string(line->first) + "-" +
                        (range->second == 9999 ? "" : std::to_string(range->second)) +
                        "' for the rest");
    }
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

}  // namespace linebasic

// An interactive session: the program is typed line by line, listed, run, checked, saved and
// loaded. The session knows nothing of terminals: it takes one typed line at a time and writes
// its answers, like everything a program prints, to its output (standard output unless the
// host sets another); errors go there too, or apart (standard error unless the host sets
// another) when the lines come from a script.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "debug/run_control.h"
#include "interpreter/interpreter.h"
#include "session/program_file.h"

namespace linebasic {

struct SessionSettings {
  std::optional<unsigned long long> maxSteps;  // bounds every run
  // Set from outside (by a signal handler) to stop the command in progress; cleared by the
  // session.
  std::atomic<int>* interrupted = nullptr;
  bool onTerminal = false;   // a terminal echoes Ctrl-C as "^C": "stopped" starts a new line
  bool errorsApart = false;  // errors go apart (to `errors`), as a script's should
  bool canEdit = false;      // the reader can put a line at the prompt for `edit` to change
  OutputSink output{};       // takes all the session writes; standard output when unset
  OutputSink errors{};       // takes the errors kept apart; standard error when unset
};

class Session {
 public:
  explicit Session(SessionSettings settings = {});

  // What the session says when it starts.
  static constexpr std::string_view kBanner =
      "linebasic: type numbered lines, then 'run'; lines without a number run at once.\n"
      "'help' lists the commands.\n";

  // Handles one typed line, without its line-feed. False once the session is over.
  bool handleLine(std::string_view line);
  // The end of the input, which is "bye"; in a script, no failure of a command.
  bool endOfInput();

  // The file a host names at the start: loaded when it is there; when nothing is there yet,
  // the program starts empty and `save` alone creates the file, as an editor starts a new file.
  void openFile(const std::string& path);
  // An interrupt came between two lines: a script ends there, with its line named.
  void stopScript();

  // The program as `list` shows it and `save` writes it.
  [[nodiscard]] std::string programText() const;
  // True once a command has failed (an error was shown).
  [[nodiscard]] bool anyFailed() const { return failed_; }
  // True once an interrupt has ended a script.
  [[nodiscard]] bool endedByInterrupt() const { return endedByInterrupt_; }
  // The line `edit` asks to put at the next prompt, once; empty when there is none.
  std::string takeLineToEdit() { return std::move(lineToEdit_); }

 private:
  // A command: its name, whether it takes an argument, and what it does with it. A new command
  // is one row in the table, one member function and one line of the help.
  struct Command {
    std::string_view name;
    bool takesArgument;
    void (Session::*action)(std::string_view argument);
  };
  static std::span<const Command> commands();

  void handle(std::string_view line);
  void say(std::string_view text) const;
  void sayApart(std::string_view text) const;
  void complain(const std::string& message);
  void warn(Diagnostic diagnostic, int line) const;
  bool stopRequested() const;
  void sayStopped(const std::string& message);
  bool confirmed(const std::string& key, const std::string& question);
  bool confirmDiscard(std::string_view name, std::string_view again = {});
  bool isUnknownCommand(std::string_view text);

  void run(std::string_view argument);
  void list(std::string_view argument);
  void newProgram(std::string_view argument);
  void load(std::string_view argument);
  void loadFile(const std::string& path, bool asking);
  void save(std::string_view argument);
  void deleteLines(std::string_view argument);
  void edit(std::string_view argument);
  void check(std::string_view argument);
  void help(std::string_view argument);
  void bye(std::string_view argument);
  void setBreakpoint(std::string_view argument);
  void clearBreakpoint(std::string_view argument);
  void step(std::string_view argument);
  void cont(std::string_view argument);
  void back(std::string_view argument);
  void rcont(std::string_view argument);
  void over(std::string_view argument);
  void out(std::string_view argument);
  void stack(std::string_view argument);
  void watch(std::string_view argument);
  void unwatch(std::string_view argument);
  void sayWhereBack(std::uint64_t printedBefore, const std::string& how);
  void sayWatchHit(std::optional<int> standing);
  void vars(std::string_view argument);
  void trace(std::string_view argument);
  void renum(std::string_view argument);
  void fix(std::string_view argument);

  void storeLine(std::string_view line);
  void runImmediate(std::string_view line);
  void runAfterProgram(std::string_view line);
  void startRun(std::optional<int> from);
  void setRun(std::string text, std::optional<int> leftAt);
  void placeBreakpoints(std::optional<int> leftAt);
  void noteUnreachableBreakpoints();
  void dropBreakpoints(int first, int last);
  void clearAllBreakpoints(std::string_view whose = {});
  void resumeWaitingRun(bool announce);
  void goOn(bool stepping, bool announceReturn = true);
  void runAndReport(bool stepping);
  void endStoppedRun();
  [[nodiscard]] std::string missedJump(const char* last) const;
  StopReason runOn(bool stepping, std::uint64_t bound, const char*& last);
  void endRun();
  [[nodiscard]] std::optional<int> stoppedAt() const;
  [[nodiscard]] std::string shownLine(int number) const;
  [[nodiscard]] int textLine(int number) const;
  [[nodiscard]] int numberOfLine(std::size_t line) const;
  void breakOutputLine();
  static void writeOutput(void* context, std::string_view text);
  void showWarnings(const std::string& text, int line, int shownAs,
                    bool (*shown)(std::string_view name)) const;
  std::optional<std::string> fileName(std::string_view command, std::string_view argument);

  std::map<int, std::string> lines_;  // by line number: the text typed after the number
  bool changed_ = false;              // changes since the last load or save
  bool failed_ = false;               // a command has failed
  bool over_ = false;                 // bye was accepted
  bool endedByInterrupt_ = false;     // an interrupt ended the script
  std::size_t linesRead_ = 0;         // lines handled
  std::string typed_;                 // the command line being handled
  std::string asked_;                 // what the line before asked to have typed again
  std::string asking_;                // what this line asks to have typed again
  std::string fileName_;              // the file last loaded or saved: `save` alone writes it
  // Files this session loaded or saved, saved over freely while they stay as they were then.
  std::map<std::string, FileStamp> ownFiles_;
  std::string lineToEdit_;
  SessionSettings settings_;
  Interpreter interpreter_;  // its variables live as long as the session
  RunControl control_{interpreter_};
  // The text of the last run, where it stays. Its first lines are those of lines_, in order:
  // editing the program ends a stopped run.
  std::unique_ptr<const std::string> runText_;
  // Runs stopped when an immediate line started one, the last stopped last.
  struct WaitingRun {
    KeptRun run;
    std::unique_ptr<const std::string> text;
  };
  std::vector<WaitingRun> waiting_;
  bool stopped_ = false;    // the last run stopped and can go on
  bool ranOnText_ = false;  // the last run's text is still the program's: it can go back
  enum class StepBy { Line, Over, Out } stepBy_ = StepBy::Line;  // what a step runs
  std::map<int, std::string> conditions_;                        // of breakpoints, by line number
  std::set<char> watches_;
  std::set<int> breakpoints_;  // by line number
  std::set<int> unreachable_;  // breakpoints on lines inside a literal: no run stops there
  bool tracing_ = false;
  bool stepping_ = false;    // a step runs: it shows its line, so the trace does not
  bool outputOpen_ = false;  // what the program printed last does not end a line
  bool traceOpen_ = false;   // the trace wrote last, and the line goes on
};

}  // namespace linebasic

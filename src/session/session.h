// An interactive session: the program is typed line by line, listed, run, checked, saved and
// loaded. The session knows nothing of terminals: it takes one typed line at a time and writes
// its answers, like everything a program prints, to standard output.
#pragma once

#include <csignal>
#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "interpreter/interpreter.h"

namespace linebasic {

class Session {
 public:
  // `maxSteps` bounds every run; `interrupted`, when given, is set from outside (by a signal
  // handler) to stop the run in progress, and cleared by the session. On a terminal, which
  // echoes Ctrl-C as "^C", the message that says where the run stopped starts a new line.
  explicit Session(std::optional<unsigned long long> maxSteps = {},
                   volatile std::sig_atomic_t* interrupted = nullptr, bool onTerminal = false);

  // What the session says when it starts.
  static constexpr std::string_view kBanner =
      "linebasic: type numbered lines, then 'run'; lines without a number run at once.\n"
      "'help' lists the commands.\n";

  // Handles one typed line, without its line-feed. False once the session is over.
  bool handleLine(std::string_view line);
  // The end of the input, which is "bye".
  bool endOfInput() { return handleLine("bye"); }

  // The program as `list` shows it and `save` writes it.
  [[nodiscard]] std::string programText() const;

 private:
  bool command(std::string_view name, std::string_view argument, const std::string& repeated);
  void storeLine(std::string_view line);
  void runImmediate(std::string_view line);
  void runFromStart();
  void run(std::size_t start, std::size_t programEnd);
  void list(std::string_view range) const;
  void load(std::string_view file);
  void save(std::string_view file);
  void showWarnings(const std::string& text, int line, int shownAs,
                    bool (*shown)(std::string_view name)) const;
  void check() const;
  bool confirmDiscard(std::string_view name, std::string_view typed, const std::string& repeated);

  std::map<int, std::string> lines_;  // by line number: the text typed after the number
  bool changed_ = false;              // changes since the last load or save
  std::string pendingDiscard_;        // the command that was warned about unsaved changes
  std::optional<unsigned long long> maxSteps_;
  volatile std::sig_atomic_t* interrupted_;
  bool onTerminal_;
  Interpreter interpreter_;  // its variables live as long as the session
  std::string runText_;      // the text the interpreter runs: kept alive with it
};

}  // namespace linebasic

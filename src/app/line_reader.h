// Reads the lines a user types: with line editing and a history kept between sessions when the
// build has libedit and the input is a terminal, and plainly otherwise. Either way a line holds
// the bytes typed: UTF-8 text, and a pasted tab, come through as they were.
#pragma once

#include <atomic>
#include <string>

namespace linebasic {

class LineReader {
 public:
  enum class Status {
    Line,         // a line was read
    Interrupted,  // Ctrl-C dropped what was being typed
    End,          // the end of the input (Ctrl-D at an empty prompt)
  };

  // `prompt` is shown before each line on a terminal.
  explicit LineReader(std::string prompt);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // `initial`: text put at the prompt to be changed, where the reader can edit.
  Status read(std::string& line, const std::string& initial = {});
  // True when `read` puts its `initial` text at the prompt.
  [[nodiscard]] bool canEdit() const { return editing_; }

 private:
  Status readPlain(std::string& line);
  void remember(const std::string& line);

  std::string prompt_;
  bool terminal_;
  bool editing_ = false;        // libedit reads the lines
  std::string historyFile_;     // empty: no history kept
  std::string lastRemembered_;  // the newest line of the history
};

// Set by the SIGINT handler that the session installs; cleared by whoever acts on it.
extern std::atomic<int> interruptRequested;

// Makes Ctrl-C set interruptRequested instead of ending the process, and interrupt a read.
void catchInterrupts();

}  // namespace linebasic

// Reads the lines a user types: with line editing and a history kept between sessions when the
// build has libedit and the input is a terminal, and plainly otherwise.
#pragma once

#include <csignal>
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

  Status read(std::string& line);

 private:
  Status readPlain(std::string& line);

  std::string prompt_;
  bool terminal_;
  std::string historyFile_;  // empty: no history kept
};

// Set by the SIGINT handler that the session installs; cleared by whoever acts on it.
extern volatile std::sig_atomic_t interruptRequested;

// Makes Ctrl-C set interruptRequested instead of ending the process, and interrupt a read.
void catchInterrupts();

}  // namespace linebasic

#include "app/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#ifdef LINEBASIC_LIBEDIT
#include <editline/readline.h>
#endif

namespace linebasic {

volatile std::sig_atomic_t interruptRequested = 0;

namespace {

constexpr int kHistoryLines = 1000;

void onInterrupt(int /*signal*/) {
  interruptRequested = 1;
}

}  // namespace

void catchInterrupts() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read in progress returns, so the line is dropped
  sigaction(SIGINT, &action, nullptr);
}

LineReader::LineReader(std::string prompt)
    : prompt_(std::move(prompt)), terminal_(isatty(STDIN_FILENO) != 0) {
#ifdef LINEBASIC_LIBEDIT
  if (!terminal_) return;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    historyFile_ = std::string(home) + "/.linebasic_history";
  using_history();
  stifle_history(kHistoryLines);
  if (!historyFile_.empty()) read_history(historyFile_.c_str());
#endif
}

LineReader::~LineReader() = default;

LineReader::Status LineReader::read(std::string& line) {
#ifdef LINEBASIC_LIBEDIT
  if (terminal_) {
    interruptRequested = 0;
    char* const typed = readline(prompt_.c_str());
    if (interruptRequested != 0) {
      std::free(typed);
      interruptRequested = 0;
      std::fputc('\n', stdout);
      return Status::Interrupted;
    }
    if (typed == nullptr) {
      std::fputc('\n', stdout);  // the prompt's line ends, as after any typed line
      return Status::End;
    }
    line = typed;
    std::free(typed);
    if (!line.empty()) {
      add_history(line.c_str());
      if (!historyFile_.empty()) write_history(historyFile_.c_str());
    }
    return Status::Line;
  }
#endif
  return readPlain(line);
}

// A line from standard input; the prompt is shown only on a terminal.
LineReader::Status LineReader::readPlain(std::string& line) {
  if (terminal_) {
    std::fputs(prompt_.c_str(), stdout);
    std::fflush(stdout);
  }
  line.clear();
  interruptRequested = 0;
  for (int c = 0; (c = std::fgetc(stdin)) != EOF;) {
    if (c == '\n') return Status::Line;
    line += static_cast<char>(c);
  }
  const bool interrupted = std::ferror(stdin) != 0 && errno == EINTR;
  std::clearerr(stdin);  // on a terminal, reading may go on after Ctrl-D or Ctrl-C
  if (interrupted || interruptRequested != 0) {
    interruptRequested = 0;
    std::fputc('\n', stdout);
    return Status::Interrupted;
  }
  if (!line.empty()) return Status::Line;  // a last line without its line-feed
  if (terminal_) std::fputc('\n', stdout);
  return Status::End;
}

}  // namespace linebasic

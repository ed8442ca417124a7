#include "app/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

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

#ifdef LINEBASIC_LIBEDIT
// libedit reads characters, not bytes, in the encoding of LC_CTYPE, and drops what that encoding
// cannot hold: so the terminal's locale is taken from the environment. Where the environment
// names none, UTF-8 keeps the bytes of any UTF-8 text as they were typed.
void useTerminalEncoding() {
  const char* const locale = std::setlocale(LC_CTYPE, "");
  if (locale == nullptr || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0)
    std::setlocale(LC_CTYPE, "C.UTF-8");
}

// Text put at the prompt before what the user types (for `edit`). libedit clears its line
// when it starts reading, so the text comes in through its character reader, as typed ahead.
std::string typedAhead;

// libedit's character reader: one character of the text typed ahead, then of standard input,
// decoded in the terminal's encoding. -1 at the end of the input, or when Ctrl-C interrupts.
int readCharacter(std::FILE* /*in*/) {
  std::mbstate_t state{};
  while (true) {
    char byte = 0;
    if (!typedAhead.empty()) {
      byte = typedAhead.front();
      typedAhead.erase(0, 1);
    } else if (::read(STDIN_FILENO, &byte, 1) != 1) {
      return -1;
    }
    wchar_t character = 0;
    const std::size_t used = std::mbrtowc(&character, &byte, 1, &state);
    if (used == static_cast<std::size_t>(-2)) continue;  // more bytes of this character
    if (used == static_cast<std::size_t>(-1)) {
      state = {};  // no character of the encoding: dropped, as libedit would
      continue;
    }
    return static_cast<int>(character);
  }
}

#endif

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
  editing_ = true;
  useTerminalEncoding();
  rl_getc_function = readCharacter;
  rl_bind_key('\t', rl_insert);  // a tab is text, as typed or pasted: there is nothing to complete
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
    historyFile_ = std::string(home) + "/.linebasic_history";
  using_history();
  stifle_history(kHistoryLines);
  if (!historyFile_.empty()) read_history(historyFile_.c_str());
  if (const HIST_ENTRY* const last = history_get(history_base + history_length - 1))
    lastRemembered_ = last->line;
#endif
}

LineReader::~LineReader() = default;

LineReader::Status LineReader::read(std::string& line, const std::string& initial) {
#ifdef LINEBASIC_LIBEDIT
  if (editing_) {
    interruptRequested = 0;
    typedAhead = initial;
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
    remember(line);
    return Status::Line;
  }
#endif
  static_cast<void>(initial);
  return readPlain(line);
}

// Adds a line to the history, but not twice in a row.
void LineReader::remember(const std::string& line) {
#ifdef LINEBASIC_LIBEDIT
  if (line.empty() || line == lastRemembered_) return;
  add_history(line.c_str());
  lastRemembered_ = line;
  if (!historyFile_.empty()) write_history(historyFile_.c_str());
#else
  static_cast<void>(line);
#endif
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

#include "app/line_reader.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <optional>
#include <span>
#include <utility>

#ifdef LINEBASIC_LIBEDIT
#include <editline/readline.h>
#endif

namespace linebasic {

std::atomic<int> interruptRequested{0};

namespace {

void onInterrupt(int /*signal*/) {
  interruptRequested = 1;
}

// Signals that come while a line is read, noted by their handler and acted on by the reader
// between two reads. libedit catches none of them itself: its handlers undo themselves after
// the first signal of a line, and a read its signal cut short would end the input.
std::atomic<int> resized{0};       // SIGWINCH: the window changed size
std::atomic<int> suspended{0};     // SIGTSTP: Ctrl-Z
std::atomic<int> continued{0};     // SIGCONT: fg, or any other continue
std::atomic<int> endingSignal{0};  // SIGHUP, SIGTERM or SIGQUIT: the process ends

void onReadSignal(int signal) {
  if (signal == SIGWINCH) {
    resized = 1;
  } else if (signal == SIGTSTP) {
    suspended = 1;
  } else if (signal == SIGCONT) {
    continued = 1;
  } else {
    endingSignal = signal;
  }
}

// What line editing acts on; the plain reader only shows its prompt again after a continue.
constexpr std::array kEditSignals = {SIGWINCH, SIGTSTP, SIGCONT, SIGHUP, SIGTERM, SIGQUIT};
constexpr std::array kPlainSignals = {SIGCONT};

// No SA_RESTART: a read in progress returns, so that the reader acts at once.
void catchReadSignal(int signal, struct sigaction* before) {
  struct sigaction action {};
  action.sa_handler = onReadSignal;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, before);
}

// Catches `signals` for as long as it lives, and puts back what was there before.
class CaughtSignals {
 public:
  explicit CaughtSignals(std::span<const int> signals) : signals_(signals) {
    for (std::size_t i = 0; i < signals_.size(); ++i)
      catchReadSignal(signals_[i], &before_.at(i));
  }
  ~CaughtSignals() {
    for (std::size_t i = 0; i < signals_.size(); ++i)
      sigaction(signals_[i], &before_.at(i), nullptr);
  }
  CaughtSignals(const CaughtSignals&) = delete;
  CaughtSignals& operator=(const CaughtSignals&) = delete;

 private:
  std::span<const int> signals_;
  std::array<struct sigaction, kEditSignals.size()> before_{};
};

#ifdef LINEBASIC_LIBEDIT
constexpr int kHistoryLines = 1000;

// Gives the terminal back as it was before the line, for the shell or for the process's end.
void leaveTerminal() {
  rl_deprep_terminal();
  std::fflush(stdout);
}

// Takes the terminal for editing again, whatever the shell did with it meanwhile, and shows the
// prompt and the line as they stand, over the line the cursor is on.
void retakeTerminal() {
  rl_deprep_terminal();
  rl_prep_terminal(1);
  std::fputc('\r', stdout);
  std::fflush(stdout);
  rl_forced_update_display();
}

// A resize, a stop or a continue changes nothing of what is typed: the line is kept and shown
// again. A hangup or terminate signal ends the process as it would have, the terminal given back.
void actOnEditSignals() {
  if (const int signal = endingSignal; signal != 0) {
    leaveTerminal();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
  if (resized != 0) {
    resized = 0;
    rl_resize_terminal();
  }
  if (suspended != 0) {
    suspended = 0;
    leaveTerminal();
    std::signal(SIGTSTP, SIG_DFL);
    std::raise(SIGTSTP);  // the process stands here until it is continued
    catchReadSignal(SIGTSTP, nullptr);
    continued = 1;
  }
  if (continued != 0) {
    continued = 0;
    retakeTerminal();
  }
}

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

// On Ctrl-C the cursor goes to the line's end first, so that "^C" follows all that was typed
// rather than covering the rest of the line: the reader gives libedit a key bound to move
// there, then the end of the input. The key is Ctrl-\, which a terminal turns into SIGQUIT: no
// one types it, and a user's own bindings stay as they are.
constexpr int kMoveToEnd = 0x1C;
bool movedToEnd = false;  // kMoveToEnd was given for this Ctrl-C

// libedit's character reader: one character of the text typed ahead, then of standard input,
// decoded in the terminal's encoding. -1 at the end of the input, or when Ctrl-C interrupts;
// any other signal lets it read on.
int readCharacter(std::FILE* /*in*/) {
  std::mbstate_t state{};
  while (true) {
    char byte = 0;
    if (!typedAhead.empty()) {
      byte = typedAhead.front();
      typedAhead.erase(0, 1);
    } else {
      actOnEditSignals();
      if (interruptRequested != 0) return std::exchange(movedToEnd, true) ? -1 : kMoveToEnd;
      const ssize_t count = ::read(STDIN_FILENO, &byte, 1);
      if (count < 0 && errno == EINTR) continue;  // acted on above
      if (count != 1) return -1;
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
  rl_catch_signals = 0;  // the reader catches them, while it reads a line
  useTerminalEncoding();
  rl_getc_function = readCharacter;
  rl_bind_key('\t', rl_insert);  // a tab is text, as typed or pasted: there is nothing to complete
  rl_parse_and_bind("bind '^\\' ed-move-to-end");  // kMoveToEnd
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
    movedToEnd = false;
    typedAhead = initial;
    char* typed = nullptr;
    {
      const CaughtSignals signals(kEditSignals);
      typed = readline(prompt_.c_str());
    }
    if (interruptRequested != 0) {
      std::free(typed);
      interruptRequested = 0;
      std::fputs("^C\n", stdout);  // as a terminal shows it: the line is dropped, not entered
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

// A line from standard input; the prompt is shown only on a terminal, and again after Ctrl-Z
// and fg, over the line the cursor is on (the terminal dropped what was typed of the line).
LineReader::Status LineReader::readPlain(std::string& line) {
  if (terminal_) {
    std::fputs(prompt_.c_str(), stdout);
    std::fflush(stdout);
  }
  line.clear();
  if (terminal_) interruptRequested = 0;  // a script's host acts on one that came before
  continued = 0;
  std::optional<CaughtSignals> signals;
  if (terminal_) signals.emplace(kPlainSignals);
  const auto cutShortByContinue = [] {
    return std::ferror(stdin) != 0 && errno == EINTR && interruptRequested == 0 &&
           continued.exchange(0) != 0;
  };
  for (int c = 0; (c = std::fgetc(stdin)) != EOF || cutShortByContinue();) {
    if (c == EOF) {
      std::clearerr(stdin);
      std::fputs(("\r" + prompt_).c_str(), stdout);
      std::fflush(stdout);
      continue;
    }
    if (c == '\n') {
      // A script's CR-LF line ends are LF, as in a program file: a carriage return would hide
      // a command, end a line number's line and stay in a file name.
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return Status::Line;
    }
    line += static_cast<char>(c);
  }
  const bool interrupted = std::ferror(stdin) != 0 && errno == EINTR;
  std::clearerr(stdin);  // on a terminal, reading may go on after Ctrl-D or Ctrl-C
  if (interrupted || interruptRequested != 0) {
    interruptRequested = 0;
    if (terminal_) std::fputc('\n', stdout);
    return Status::Interrupted;
  }
  if (!line.empty()) return Status::Line;  // a last line without its line-feed
  if (terminal_) std::fputc('\n', stdout);
  return Status::End;
}

}  // namespace linebasic

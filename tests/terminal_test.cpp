// The session at a real terminal: linebasic-run on a pseudo-terminal, typed at key by key.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "test_support.h"

namespace {

using linebasic::testing::ScratchFolder;

// linebasic-run started with no arguments on a terminal of its own, with HOME in a fresh folder
// and LANG set to `locale` (no locale at all when it is empty).
class Terminal {
 public:
  explicit Terminal(const std::filesystem::path& home, const char* locale = "") {
    winsize size{24, 100, 0, 0};
    pid_ = forkpty(&fd_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      setenv("HOME", home.c_str(), 1);
      setenv("TERM", "xterm", 1);
      unsetenv("LC_ALL");
      unsetenv("LC_CTYPE");
      if (*locale == '\0') {
        unsetenv("LANG");
      } else {
        setenv("LANG", locale, 1);
      }
      execl(LINEBASIC_RUN_EXECUTABLE, "linebasic-run", static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Terminal() {
    if (pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0) kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    close(fd_);
  }
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  void type(const std::string& keys) const {
    ASSERT_EQ(write(fd_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // The window takes `columns`, and the terminal sends SIGWINCH, as a window resized by hand.
  void resize(unsigned short columns) const {
    const winsize size{24, columns, 0, 0};
    ASSERT_EQ(ioctl(fd_, TIOCSWINSZ, &size), 0);
  }

  void signal(int number) const { ASSERT_EQ(kill(pid_, number), 0); }

  // Waits until the session reads, with its signals caught; with line editing, until the reader
  // holds the terminal too (it shows the prompt first), since a control key typed before would
  // be the terminal's own to take.
  void ready() const {
    usleep(100'000);
#ifdef LINEBASIC_LIBEDIT
    termios modes{};
    for (int tries = 0; tries < 100 && tcgetattr(fd_, &modes) == 0; ++tries) {
      if ((modes.c_lflag & ICANON) == 0) return;
      usleep(100'000);
    }
    ADD_FAILURE() << "the reader never took the terminal";
#endif
  }

  // Reads the screen until `text` appears after what earlier waits found; false after 10 s.
  bool waitFor(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (true) {
      if (const auto found = screen_.find(text, seen_); found != std::string::npos) {
        seen_ = found + text.size();
        return true;
      }
      pollfd ready{fd_, POLLIN, 0};
      if (std::chrono::steady_clock::now() > deadline || poll(&ready, 1, 100) < 0) return false;
      char buffer[4096];
      const ssize_t count = (ready.revents & POLLIN) != 0 ? read(fd_, buffer, sizeof buffer) : 0;
      if (count < 0) return false;
      screen_.append(buffer, static_cast<std::size_t>(count));
    }
  }

  // The exit status, once the process has ended by itself within 10 s.
  int exitStatus() const {
    for (int tries = 0; tries < 100; ++tries) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_)
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      usleep(100'000);
    }
    return -1;
  }

  [[nodiscard]] const std::string& screen() const {
    return screen_;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  std::string screen_;
  std::size_t seen_ = 0;
};

TEST(TerminalTest, TypesRunsRecallsAndStopsALoop) {
  const ScratchFolder home;
  Terminal terminal(home.path());
  ASSERT_TRUE(terminal.waitFor("'help' lists the commands.\r\n> ")) << terminal.screen();
  terminal.type("10 print \"hi\"\r");
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.type("run\r");
  ASSERT_TRUE(terminal.waitFor("\r\nhi\r\n> ")) << terminal.screen();
#ifdef LINEBASIC_LIBEDIT
  terminal.type("\x1b[A\r");  // the up arrow recalls "run"
  ASSERT_TRUE(terminal.waitFor("\r\nhi\r\n> ")) << terminal.screen();
#endif
  terminal.type("10 goto 10\r");
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.type("run\r");
  usleep(300'000);
  terminal.type("\x03");  // Ctrl-C
  ASSERT_TRUE(terminal.waitFor("stopped at line 10\r\n> ")) << terminal.screen();
  terminal.type("print 7\r");
  ASSERT_TRUE(terminal.waitFor("\r\n7\r\n> ")) << terminal.screen();
  terminal.type("bye\r");
  ASSERT_TRUE(terminal.waitFor("type 'bye' again")) << terminal.screen();
  terminal.type("bye\r");
  EXPECT_EQ(terminal.exitStatus(), 0) << terminal.screen();
#ifdef LINEBASIC_LIBEDIT
  EXPECT_TRUE(std::filesystem::exists(home.path() / ".linebasic_history"));
#endif
}

// What is typed is kept byte for byte, with or without a locale: UTF-8 text and a tab.
TEST(TerminalTest, KeepsWhatIsTyped) {
  for (const char* locale : {"", "C.UTF-8"}) {
    const ScratchFolder home;
    Terminal terminal(home.path(), locale);
    ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
    terminal.type("10 print \"h\xC3\xA9llo\"\r");
    ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
    terminal.type("20 print 1,\t2\r");
    ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
    terminal.type("list\r");
    EXPECT_TRUE(terminal.waitFor("10 print \"h\xC3\xA9llo\"\r\n20 print 1,\t2\r\n> "))
        << locale << terminal.screen();
  }
}

// Ctrl-C stops a long list and says where; edit puts a line at the prompt; history keeps a repeated
// line once.
TEST(TerminalTest, StopsAListEditsAndRecalls) {
  const ScratchFolder home;
  {
    std::ofstream program(home / "long.bas");
    for (int line = 1; line <= 9999; ++line)
      program << line << " print 1"
              << "\n";
  }
  Terminal terminal(home.path());
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.type("load ~/long.bas\r");
  ASSERT_TRUE(terminal.waitFor("loaded 9999 lines")) << terminal.screen();
  terminal.type("list\r");
  ASSERT_TRUE(terminal.waitFor("100 print")) << terminal.screen();
  terminal.type("\x03");
  ASSERT_TRUE(terminal.waitFor("\r\nstopped the listing at line ")) << terminal.screen();
  ASSERT_TRUE(terminal.waitFor("-' for the rest\r\n> ")) << terminal.screen();
  terminal.type("print 7\r");
  ASSERT_TRUE(terminal.waitFor("\r\n7\r\n> ")) << terminal.screen();
#ifdef LINEBASIC_LIBEDIT
  terminal.type("10 print 5\r");
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.type("edit 10\r");
  ASSERT_TRUE(terminal.waitFor("> 10 print 5")) << terminal.screen();
  terminal.type("0\r");
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.type("list 10\r");
  ASSERT_TRUE(terminal.waitFor("\r\n10 print 50\r\n> ")) << terminal.screen();
  terminal.type("print 1\rprint 2\rprint 2\r\x1b[A\x1b[A\r");  // the second up arrow: "print 1"
  ASSERT_TRUE(terminal.waitFor("\r\n1\r\n> ")) << terminal.screen();
  EXPECT_TRUE(terminal.waitFor("\r\n1\r\n> ")) << terminal.screen();
#endif
}

// A resize, Ctrl-Z and a continue (the shell's fg) leave the program and the session as they
// were, at the prompt and at the unsaved-changes question, and a resize the line being typed;
// with line editing, so does Ctrl-Z (the plain reader's terminal drops a line's typed part on
// Ctrl-Z itself). Ctrl-C drops the line, at the edit prompt too, and shows "^C" after all of it;
// Ctrl-D at an empty prompt is bye.
TEST(TerminalTest, SignalsAtThePromptLoseNothing) {
  const ScratchFolder home;
  Terminal terminal(home.path());
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.type("10 print \"unsaved\"\r");
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.ready();
  terminal.resize(110);
  terminal.type("print 12");
  terminal.ready();
  terminal.resize(90);
  terminal.ready();
  terminal.type("3\r");
  ASSERT_TRUE(terminal.waitFor("\r\n123\r\n> ")) << terminal.screen();
  terminal.ready();
  terminal.type("\x1a");  // Ctrl-Z
  terminal.ready();
  terminal.signal(SIGCONT);
  terminal.ready();
  terminal.type("list\r");
  ASSERT_TRUE(terminal.waitFor("\r\n10 print \"unsaved\"\r\n> ")) << terminal.screen();
#ifdef LINEBASIC_LIBEDIT
  terminal.type("print 4");
  terminal.ready();
  terminal.type("\x1a");
  terminal.ready();
  terminal.signal(SIGCONT);
  terminal.ready();
  terminal.type("5\r");
  ASSERT_TRUE(terminal.waitFor("\r\n45\r\n> ")) << terminal.screen();
#endif
  terminal.type("bye\r");
  ASSERT_TRUE(terminal.waitFor("type 'bye' again")) << terminal.screen();
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.ready();
  terminal.resize(100);
  terminal.type("\x1a");
  terminal.ready();
  terminal.signal(SIGCONT);
  terminal.ready();
  terminal.type("\x03");  // Ctrl-C
  ASSERT_TRUE(terminal.waitFor("^C\r\n> ")) << terminal.screen();
  terminal.type("list\r");
  ASSERT_TRUE(terminal.waitFor("\r\n10 print \"unsaved\"\r\n> ")) << terminal.screen();
#ifdef LINEBASIC_LIBEDIT
  terminal.ready();
  terminal.type("edit 10\r");
  ASSERT_TRUE(terminal.waitFor("> 10 print \"unsaved\"")) << terminal.screen();
  terminal.ready();
  terminal.type("\x03");
  ASSERT_TRUE(terminal.waitFor("^C\r\n> ")) << terminal.screen();
  terminal.type("list\r");
  ASSERT_TRUE(terminal.waitFor("\r\n10 print \"unsaved\"\r\n> ")) << terminal.screen();
  terminal.ready();
  terminal.type("print 4 + 5\x1b[D\x1b[D\x1b[D\x1b[D");  // the cursor left of " + 5"
  terminal.ready();
  terminal.type("\x03");
  ASSERT_TRUE(terminal.waitFor(" + 5^C\r\n> ")) << terminal.screen();
#endif
  terminal.ready();
  terminal.type("\x04");  // Ctrl-D
  ASSERT_TRUE(terminal.waitFor("type 'bye' again")) << terminal.screen();
  ASSERT_TRUE(terminal.waitFor("> ")) << terminal.screen();
  terminal.ready();
  terminal.type("\x04");
  EXPECT_EQ(terminal.exitStatus(), 0) << terminal.screen();
}

}  // namespace

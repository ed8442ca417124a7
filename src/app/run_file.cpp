// linebasic-run: runs a BASIC program from a file, or from standard input when FILE is "-",
// and writes what the program prints to standard output; or checks the program without
// running it. It is also the example of how a program drives the interpreter: load a text,
// then execute statements until the run is done, here with an optional bound on their number,
// since a program may loop forever.
//
//   linebasic-run [--max-steps N] [--trace] FILE
//   linebasic-run --check [--fixits] FILE
//   linebasic-run --fix [--write] FILE
//   linebasic-run --renumber[=START[,STEP]] [--write] FILE
//   linebasic-run [--max-steps N] [-i [FILE]]
//   linebasic-run --lsp
//
// With -i, or with no FILE when standard input is a terminal, it starts an interactive session
// instead.
//
// Exit status: 0 when the program ran to its end (or checked clean), 1 when FILE cannot be
// read (or a session reading a script had a command fail), 2 for a command line of another
// form, 3 when the bound stopped the program, 4 when the check printed a warning, 130 when
// SIGINT stopped a session's script.
#include <unistd.h>

#include <charconv>
#include <csignal>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/edit_file.h"
#include "app/line_reader.h"
#include "check/check.h"
#include "check/lines.h"
#include "debug/run_control.h"
#include "edit/fix_text.h"
#include "interpreter/interpreter.h"
#include "session/program_file.h"
#include "session/session.h"
#ifdef LINEBASIC_LSP
#include "lsp/server.h"
#endif

namespace {

constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;
constexpr int kExitWarned = 4;
constexpr int kExitInterrupted = 128 + SIGINT;  // as shells end on SIGINT

constexpr char kUsage[] =
    "usage: linebasic-run [--max-steps N] [--trace] FILE\n"
    "       linebasic-run --check [--fixits] FILE\n"
    "       linebasic-run --fix [--write] FILE\n"
    "       linebasic-run --renumber[=START[,STEP]] [--write] FILE\n"
    "       linebasic-run [--max-steps N] [-i [FILE]]\n";

constexpr char kHelp[] =
    "Runs the BASIC program in FILE (\"-\": standard input) and writes what it prints.\n"
    "\n"
    "  --max-steps N  stop the program after N statements (exit status 3)\n"
    "  --trace        write [N] to standard error for each numbered line the run reaches\n"
    "                 (a line runs when a statement starts on it)\n"
    "  --check        do not run the program: print a warning for each place where the run\n"
    "                 will do something else than it most likely means (exit status 4)\n"
    "  --fixits       with --check, after each warning that has a fix, print it as Clang\n"
    "                 does: fix-it:\"FILE\":{LINE:COLUMN-LINE:COLUMN}:\"TEXT\"\n"
    "  --fix          write the program with the fix of every warning that has one applied\n"
    "                 to standard output, and each fix to standard error\n"
    "  --renumber[=START[,STEP]]\n"
    "                 write the program renumbered from START by STEP (10 and 10) to\n"
    "                 standard output, with every GOTO and GOSUB to a renumbered line\n"
    "                 rewritten; where that would change what the run does, it refuses and\n"
    "                 says why (exit status 1)\n"
    "  --write        with --fix or --renumber, rewrite FILE instead, as the session saves\n"
    "  -i             start an interactive session, with FILE loaded (not run) when given;\n"
    "                 this is also what happens without FILE when the input is a terminal\n"
    "  --lsp          serve the Language Server Protocol on standard input and output\n"
    "  --help         print this text\n"
    "  --version      print the version\n"
    "\n"
    "Exit status: 0 done, 1 FILE cannot be read (or a command of a session's script failed),\n"
    "2 wrong command line, 3 stopped, 4 warnings, 130 a session's script stopped by SIGINT.\n";

constexpr char kNoTerminal[] =
    "no FILE, and standard input is not a terminal to hold a session on: give\n"
    "FILE, '-' to run the program on standard input, or -i to read session lines from it";

struct Options {
  std::string file;
  std::optional<unsigned long long> maxSteps;  // no bound when empty
  bool trace = false;
  bool check = false;
  bool help = false;
  bool version = false;
  bool interactive = false;
  bool fixits = false;
  std::optional<linebasic::app::EditRequest> edit;  // --fix or --renumber
  bool write = false;
};

// The bound of --max-steps: a count of at least 1, written as plain decimal digits; nothing,
// after putting in `problem` what is wrong with it, for any other text.
std::optional<unsigned long long> parseCount(std::string_view text, std::string& problem) {
  unsigned long long count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (text.empty() || end != text.data() + text.size() ||
      (error != std::errc() && error != std::errc::result_out_of_range)) {
    problem = "--max-steps needs a count of statements, such as --max-steps 1000";
  } else if (error == std::errc::result_out_of_range) {
    problem = "--max-steps takes a count up to " +
              std::to_string(std::numeric_limits<unsigned long long>::max());
  } else if (count == 0) {
    problem = "--max-steps needs a count of at least 1: a run of 0 statements does nothing";
  } else {
    return count;
  }
  return {};
}

// What keeps --fix, --renumber, --write and --fixits from standing with the other options.
std::optional<std::string> editProblem(const Options& options, bool haveFile) {
  if (options.fixits && !options.check) return "--fixits goes with --check";
  if (options.write && !options.edit) return "--write goes with --fix or --renumber";
  if (!options.edit) return {};
  const char* const edit = options.edit->fix ? "--fix" : "--renumber";
  if (options.check || options.trace || options.maxSteps || options.interactive)
    return std::string(edit) + " runs nothing: it takes no --check, --trace, --max-steps or -i";
  if (!haveFile) return std::string(edit) + " needs FILE, or '-' for standard input";
  if (options.write && options.file == "-") return "--write rewrites a FILE, not standard input";
  return {};
}

// The options and the one FILE; nothing when the command line has another form, after
// putting in `problem` what is wrong with it.
std::optional<Options> parseOptions(int argc, char** argv, std::string& problem) {
  Options options;
  bool haveFile = false;
  const auto wrong = [&](std::string what) {
    problem = std::move(what);
    return std::nullopt;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--max-steps") {
      if (options.maxSteps) return wrong("--max-steps is given twice");
      options.maxSteps = parseCount(i + 1 < argc ? argv[++i] : "", problem);
      if (!options.maxSteps) return std::nullopt;
    } else if (argument == "--trace") {
      options.trace = true;
    } else if (argument == "--check") {
      options.check = true;
    } else if (argument == "--fixits") {
      options.fixits = true;
    } else if (argument == "--fix" || argument.starts_with("--renumber")) {
      if (options.edit) return wrong("one of --fix and --renumber, once");
      if (argument == "--fix") {
        options.edit = linebasic::app::EditRequest{.fix = true};
      } else if (argument == "--renumber" || argument.starts_with("--renumber=")) {
        options.edit = argument == "--renumber"
                           ? linebasic::app::EditRequest{}
                           : linebasic::app::parseRenumber(argument.substr(11), problem);
        if (!options.edit) return std::nullopt;
      } else {
        return wrong("unknown option '" + std::string(argument) + "'");
      }
    } else if (argument == "--write") {
      options.write = true;
    } else if (argument == "-i") {
      options.interactive = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument.size() > 1 && argument.front() == '-') {
      return wrong("unknown option '" + std::string(argument) + "'");
    } else if (haveFile) {
      return wrong("one FILE only, not '" + options.file + "' and '" + std::string(argument) + "'");
    } else {
      options.file = argument;
      haveFile = true;
    }
  }
  if ((options.help || options.version) && argc > 2)
    return wrong(std::string(options.help ? "--help" : "--version") + " stands alone");
  if (options.help || options.version) return options;
  if (const auto problem = editProblem(options, haveFile)) return wrong(*problem);
  if (!haveFile && !options.check && !options.trace && !options.edit && isatty(STDIN_FILENO) != 0)
    options.interactive = true;
  // A check runs nothing, so bounds and traces have no place beside it; a session reads its
  // lines from standard input, and traces nothing.
  if (options.interactive) {
    if (options.check || options.trace)
      return wrong("a session (-i) takes no --check or --trace: its commands check and trace");
    if (options.file == "-") return wrong("a session (-i) reads its lines from standard input");
    return options;
  }
  if (!haveFile)
    return wrong(argc == 1 ? kNoTerminal : "no FILE: give FILE, or '-' for standard input");
  if (options.check && (options.trace || options.maxSteps))
    return wrong("--check runs nothing: it takes no --trace or --max-steps");
  return options;
}

// Prints the checker's warnings, and their count to standard error; the exit status says
// whether there were any.
int check(const std::string& text, const std::string& file, bool fixits) {
  const std::string shownName = file == "-" ? "<stdin>" : file;
  const std::vector<linebasic::Diagnostic> diagnostics = linebasic::checkProgram(text);
  for (const linebasic::Diagnostic& diagnostic : diagnostics) {
    std::printf("%s\n", linebasic::formatDiagnostic(diagnostic, shownName).c_str());
    if (fixits && diagnostic.fix)
      std::printf("%s\n", linebasic::fixitLine(*diagnostic.fix, text, shownName).c_str());
  }
  std::fflush(stdout);
  std::fputs(linebasic::formatSummary(diagnostics).c_str(), stderr);
  return diagnostics.empty() ? 0 : kExitWarned;
}

// Runs the program to its end, or until `maxSteps` statements have run. With `trace`, writes
// [N] to standard error for each numbered line it reaches, and a line-feed at the end.
int run(const std::string& text, const Options& options) {
  if (options.trace && isatty(STDERR_FILENO) == 0) {
    std::setvbuf(stderr, nullptr, _IOFBF, 1 << 16);  // one write per [N] would be slow
  }
  linebasic::Interpreter interpreter;
  interpreter.load(text.c_str());
  linebasic::LineRule lines;
  for (unsigned long long steps = 0; !interpreter.isDone(); ++steps) {
    if (options.maxSteps && steps == *options.maxSteps) {
      std::fflush(stdout);
      if (options.trace) std::fputc('\n', stderr);
      // The line the run stands on is that of the next statement it would run.
      const char* const next = linebasic::nextStatement(interpreter);
      const auto line = next != nullptr ? linebasic::lineNumberOfLine(interpreter.programText, next)
                                        : std::nullopt;
      const std::string where = line ? " at line " + std::to_string(*line) : "";
      std::fprintf(stderr, "linebasic-run: stopped after %llu statement%s%s\n", steps,
                   steps == 1 ? "" : "s", where.c_str());
      return kExitStopped;
    }
    if (options.trace) {
      if (lines.startsLine(interpreter) != linebasic::LineRule::kNone) {
        if (const auto line = linebasic::lineNumberOfLine(interpreter))
          std::fprintf(stderr, "[%d]", *line);
      }
      const char* const before = interpreter.tokenStart;
      interpreter.executeStatement();
      if (interpreter.tokenStart < before) lines.jumpedBack();
      continue;
    }
    interpreter.executeStatement();
  }
  if (options.trace) std::fputc('\n', stderr);
  return 0;
}

// The session: a banner, then one typed line at a time until "bye" or the end of the input.
// A script (standard input not a terminal) has its errors on standard error, exit status 1
// when a command failed, and ends at an interrupt.
int interact(const Options& options) {
  linebasic::catchInterrupts();
  linebasic::LineReader reader("> ");
  const bool script = isatty(STDIN_FILENO) == 0;
  linebasic::Session session({.maxSteps = options.maxSteps,
                              .interrupted = &linebasic::interruptRequested,
                              .onTerminal = isatty(STDOUT_FILENO) != 0,
                              .errorsApart = script,
                              .canEdit = reader.canEdit()});
  // A script's output is its program's and its commands' alone, as with other shells.
  if (!script) {
    std::fwrite(linebasic::Session::kBanner.data(), 1, linebasic::Session::kBanner.size(), stdout);
  }
  if (!options.file.empty()) session.openFile(options.file);
  std::string line;
  bool goOn = !session.endedByInterrupt();
  while (goOn) {
    std::fflush(stdout);
    // An interrupt that no command took (it came between two) ends a script too.
    if (script && linebasic::interruptRequested.exchange(0) != 0) {
      session.stopScript();
      break;
    }
    const linebasic::LineReader::Status status = reader.read(line, session.takeLineToEdit());
    if (status == linebasic::LineReader::Status::Interrupted) {
      if (script) session.stopScript();
      goOn = !script;
      continue;
    }
    goOn = status == linebasic::LineReader::Status::End ? session.endOfInput()
                                                        : session.handleLine(line);
  }
  std::fflush(stdout);
  if (session.endedByInterrupt()) return kExitInterrupted;
  return script && session.anyFailed() ? 1 : 0;
}

// --lsp [--stdio]: the language server, on standard input and output.
int languageServer(int argc, char** argv) {
  if (argc > 3 || (argc == 3 && std::string_view(argv[2]) != "--stdio")) {
    std::fprintf(stderr, "linebasic-run: --lsp stands alone\n%s", kUsage);
    return kExitUsage;
  }
#ifdef LINEBASIC_LSP
  return linebasic::lsp::serve(STDIN_FILENO, STDOUT_FILENO);
#else
  std::fputs(
      "linebasic-run: this build has no language server: it needs nlohmann-json "
      "(Debian: nlohmann-json3-dev) when it is configured\n",
      stderr);
  return kExitUsage;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string_view(argv[1]) == "--lsp") return languageServer(argc, argv);
  std::string problem;
  const std::optional<Options> options = parseOptions(argc, argv, problem);
  if (!options) {
    std::fprintf(stderr, "linebasic-run: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
  }
  if (options->help) {
    std::printf("%s\n%s", kUsage, kHelp);
    return 0;
  }
  if (options->version) {
    std::printf("linebasic-run %s\n", LINEBASIC_VERSION);
    return 0;
  }
  if (options->interactive) return interact(*options);
  std::string text;
  if (const auto error = linebasic::readProgramFile(options->file, text)) {
    std::fprintf(stderr, "linebasic-run: %s: %s\n", options->file.c_str(), error->c_str());
    return kExitUnreadable;
  }
  // The text ends at its first NUL byte, as any loaded text does.
  text = linebasic::withLineFeeds(text);
  if (options->edit) {
    linebasic::app::EditRequest request = *options->edit;
    request.write = options->write;
    return linebasic::app::editFile(text, options->file, request);
  }
  return options->check ? check(text, options->file, options->fixits) : run(text, *options);
}

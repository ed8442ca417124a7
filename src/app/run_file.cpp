// linebasic-run: runs a BASIC program from a file, or from standard input when FILE is "-",
// and writes what the program prints to standard output; or checks the program without
// running it. It is also the example of how a program drives the interpreter: load a text,
// then execute statements until the run is done, here with an optional bound on their number,
// since a program may loop forever.
//
//   linebasic-run [--max-steps N] [--trace] FILE
//   linebasic-run --check FILE
//
// Exit status: 0 when the program ran to its end (or checked clean), 1 when FILE cannot be
// read, 2 for a command line of another form, 3 when the bound stopped the program, 4 when
// the check printed a warning.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "check/lines.h"
#include "interpreter/interpreter.h"

namespace {

constexpr int kExitUnreadable = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 3;
constexpr int kExitWarned = 4;

constexpr char kUsage[] =
    "usage: linebasic-run [--max-steps N] [--trace] FILE\n"
    "       linebasic-run --check FILE\n";

constexpr char kHelp[] =
    "Runs the BASIC program in FILE (\"-\": standard input) and writes what it prints.\n"
    "\n"
    "  --max-steps N  stop the program after N statements (exit status 3)\n"
    "  --trace        write [N] to standard error for each numbered line the run reaches\n"
    "  --check        do not run the program: print a warning for each place where the run\n"
    "                 will do something else than it most likely means (exit status 4)\n"
    "  --help         print this text\n"
    "\n"
    "Exit status: 0 done, 1 FILE cannot be read, 2 wrong command line, 3 stopped, 4 warnings.\n";

struct Options {
  std::string file;
  std::optional<unsigned long long> maxSteps;  // no bound when empty
  bool trace = false;
  bool check = false;
  bool help = false;
};

// A count written as plain decimal digits; nothing for any other text.
std::optional<unsigned long long> parseCount(std::string_view text) {
  unsigned long long count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return {};
  return count;
}

// The options and the one FILE; nothing when the command line has another form.
std::optional<Options> parseOptions(int argc, char** argv) {
  Options options;
  bool haveFile = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--max-steps" && i + 1 < argc && !options.maxSteps) {
      options.maxSteps = parseCount(argv[++i]);
      if (!options.maxSteps) return {};
    } else if (argument == "--trace") {
      options.trace = true;
    } else if (argument == "--check") {
      options.check = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if ((argument.size() > 1 && argument.front() == '-') || haveFile) {
      return {};  // an unknown option, or a second FILE
    } else {
      options.file = argument;
      haveFile = true;
    }
  }
  if (options.help) return argc == 2 ? std::optional(options) : std::nullopt;
  // A check runs nothing, so bounds and traces have no place beside it.
  if (!haveFile || (options.check && (options.trace || options.maxSteps))) return {};
  return options;
}

// Reads all of `path` ("-": standard input) as bytes; false, with errno set, when it cannot.
bool readAll(const std::string& path, std::string& text) {
  std::FILE* const in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) return false;
  char buffer[1 << 16];
  std::size_t count = 0;
  while ((count = std::fread(buffer, 1, sizeof buffer, in)) > 0)
    text.append(buffer, count);
  const bool ok = std::ferror(in) == 0;
  const int readError = errno;
  if (in != stdin) std::fclose(in);
  errno = readError;
  return ok;
}

// The dialect ends lines with a line-feed alone: a carriage return in front of it would hide a
// keyword that ends its line, so CR-LF line ends become LF.
std::string withLineFeeds(const std::string& text) {
  std::string converted;
  converted.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') converted += text[i];
  }
  return converted;
}

// Prints the checker's warnings; the exit status says whether there were any.
int check(const std::string& text, const std::string& file) {
  const std::string shownName = file == "-" ? "<stdin>" : file;
  const std::vector<linebasic::Diagnostic> diagnostics = linebasic::checkProgram(text);
  for (const linebasic::Diagnostic& diagnostic : diagnostics)
    std::printf("%s\n", linebasic::formatDiagnostic(diagnostic, shownName).c_str());
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
  for (unsigned long long steps = 0; !interpreter.isDone(); ++steps) {
    if (options.maxSteps && steps == *options.maxSteps) {
      std::fflush(stdout);
      if (options.trace) std::fputc('\n', stderr);
      std::fprintf(stderr, "linebasic-run: stopped after %llu statements\n", steps);
      return kExitStopped;
    }
    if (options.trace) {
      if (const auto line = linebasic::lineNumberAt(interpreter))
        std::fprintf(stderr, "[%d]", *line);
    }
    interpreter.executeStatement();
  }
  if (options.trace) std::fputc('\n', stderr);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = parseOptions(argc, argv);
  if (!options) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }
  if (options->help) {
    std::printf("%s\n%s", kUsage, kHelp);
    return 0;
  }
  std::string text;
  if (!readAll(options->file, text)) {
    std::fprintf(stderr, "linebasic-run: %s: %s\n", options->file.c_str(), std::strerror(errno));
    return kExitUnreadable;
  }
  text = withLineFeeds(text);  // the text ends at its first NUL byte, as any loaded text does
  return options->check ? check(text, options->file) : run(text, *options);
}

// The session's file commands: load and save, and the file names they are given.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "check/check.h"
#include "interpreter/interpreter.h"
#include "scanner/scanner.h"
#include "session/program_file.h"
#include "session/session.h"
#include "session/session_text.h"

namespace linebasic {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The line, counted from 1, where the first literal of `text` that holds a line-feed opens.
std::optional<int> lineOfLiteralAcrossLines(const std::string& text) {
  Interpreter scan;
  scan.load(text.c_str());
  for (; scan.token != TokenKind::EndOfText; scan.advance()) {
    if (scan.token == TokenKind::String &&
        std::find(scan.tokenStart, scan.tokenEnd, '\n') != scan.tokenEnd) {
      return static_cast<int>(std::count(scan.programText, scan.tokenStart, '\n')) + 1;
    }
  }
  return {};
}

// The same file for every name it goes by, as far as the names can tell.
std::string identity(const std::string& path) {
  // Absolute first: a relative name of a file not yet made would stay relative, and the same
  // file, once saved, would go by another name.
  std::error_code error;
  const auto absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  const auto canonical = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.string() : canonical.string();
}

}  // namespace

// The file a command names: in double quotes when the name holds blanks; "~/" at its start is
// the home folder. Nothing, after saying why, for a name of another form or of blanks only.
std::optional<std::string> Session::fileName(std::string_view command, std::string_view argument) {
  std::string name(argument);
  if (argument.front() == '"') {
    if (argument.size() < 2 || argument.back() != '"' ||
        argument.substr(1, argument.size() - 2).find('"') != std::string_view::npos) {
      complain(std::string(command) + ": a file name in double quotes ends at its second quote\n");
      return {};
    }
    name = argument.substr(1, argument.size() - 2);
    if (trimmed(name).empty()) {
      complain(std::string(command) + ": the file name in double quotes is " +
               (name.empty() ? "empty\n" : "only blanks\n"));
      return {};
    }
  } else if (argument.find_first_of(" \t") != std::string_view::npos) {
    complain(std::string(command) + ": put a file name with blanks in double quotes: " +
             std::string(command) + " \"my program.bas\"\n");
    return {};
  }
  if (name == "~" || name.rfind("~/", 0) == 0) {
    const char* const home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
      complain(std::string(command) + ": ~ stands for the home folder, which HOME names, and " +
               (home == nullptr ? "HOME is not set" : "HOME is empty") + ": give the whole path\n");
      return {};
    }
    name = std::string(home) + name.substr(1);
  }
  return name;
}

void Session::load(std::string_view argument) {
  if (argument.empty()) return complain("load: which file? type 'load FILE'\n");
  const std::optional<std::string> path = fileName("load", argument);
  if (path) loadFile(*path, true);
}

void Session::openFile(const std::string& path) {
  if (!isNewFile(path)) return loadFile(path, false);
  fileName_ = path;
  say(path + " is a new file: 'save' writes it\n");
}

// Replaces the program with the numbered lines of a file. Any line without a number, with too
// long a number, or with a number not above the one before keeps the program as it is: the
// session keeps its lines in number order, and a file in another order would run otherwise.
// With `asking`, unsaved changes are given up only once the file is found fit to load.
void Session::loadFile(const std::string& path, bool asking) {
  std::string bytes;
  FileStamp stamp;
  if (const auto error = loadProgramFile(path, bytes, settings_.interrupted, stamp)) {
    if (*error == kLoadStopped && stopRequested())
      return sayStopped("load: " + path + ": stopped; nothing was loaded");
    return complain("load: " + path + ": " + *error + "; nothing was loaded\n");
  }
  if (bytes.rfind(kByteOrderMark, 0) == 0) bytes.erase(0, kByteOrderMark.size());
  const std::string text = withLineFeeds(bytes);
  bytes = std::string();
  if (text.find('\0') != std::string::npos)
    return complain("load: " + path + ": holds a NUL byte, which no program text has; " +
                    "nothing was loaded\n");
  std::map<int, std::string> loaded;
  std::map<int, int> fileLineOf;
  int fileLine = 0;
  for (std::size_t at = 0; at < text.size(); ++fileLine) {
    const std::size_t feed = std::min(text.find('\n', at), text.size());
    const std::string_view line(text.data() + at, feed - at);
    at = feed + 1;
    // Blanks at the end stay: a literal that runs on over the line's end prints them.
    std::string_view content = line.substr(std::min(line.find_first_not_of(" \t"), line.size()));
    if (trimmed(content).empty()) continue;
    if (stopRequested()) {
      return sayStopped("load: " + path + ": stopped at text line " + std::to_string(fileLine + 1) +
                        "; nothing was loaded");
    }
    const std::string where = "load: " + path + ":" + std::to_string(fileLine + 1) + ": ";
    if (!isDigit(content.front()))
      return complain(where + "the line has no number, and the session keeps numbered lines " +
                      "only; nothing was loaded\n");
    const auto numbered = splitNumber(content);
    if (!numbered) return complain(where + std::string(kTooManyDigits));
    const int number = numbered->number;
    if (fileLineOf.count(number) != 0)
      return complain(where + "line number " + std::to_string(number) +
                      " is used already on text line " + std::to_string(fileLineOf[number]) +
                      "; nothing was loaded\n");
    if (!loaded.empty() && number < loaded.rbegin()->first)
      return complain(where + "line " + std::to_string(number) + " comes after line " +
                      std::to_string(loaded.rbegin()->first) +
                      ", and the session keeps lines in number order, which would change " +
                      "what the program does; nothing was loaded\n");
    fileLineOf[number] = fileLine + 1;
    loaded.emplace_hint(loaded.end(), number, numbered->rest);
  }
  const std::string kept = textOf(loaded);
  // The session keeps the numbered lines, not the file's blanks and empty lines between them;
  // that changes what the run does only inside a literal that runs on over a line's end.
  std::optional<int> literal;
  if (kept != text) {
    literal = lineOfLiteralAcrossLines(text);
    if (const auto keptLine = lineOfLiteralAcrossLines(kept); !literal && keptLine)
      literal = fileLineOf[std::next(loaded.begin(), *keptLine - 1)->first];
  }
  if (literal) {
    return complain("load: " + path + ":" + std::to_string(*literal) +
                    ": the literal that opens here runs on over the line's end, and the " +
                    "session would not keep the blanks or empty lines the file has inside it; " +
                    "nothing was loaded (linebasic-run runs the file as it is)\n");
  }
  if (asking && !confirmDiscard("load", typed_)) return;
  lines_ = std::move(loaded);
  endStoppedRun();
  changed_ = false;
  fileName_ = path;
  ownFiles_[identity(path)] = stamp;
  const std::size_t warnings = checkProgram(programText()).size();
  say("loaded " + countOf(lines_.size(), "line") + " from " + path + "; " +
      (warnings == 0 ? "no warnings" : countOf(warnings, "warning") + ": type 'check'") + "\n");
  clearAllBreakpoints(" of the old program");  // they belong to their program
}

// save [FILE]: writes the program; a file this session did not load or save, one that changed
// since, or one that denies writing, is replaced only when asked twice.
void Session::save(std::string_view argument) {
  std::optional<std::string> path = fileName_;
  if (!argument.empty()) {
    path = fileName("save", argument);
    if (!path) return;
  } else if (fileName_.empty()) {
    return complain("save: which file? type 'save FILE'\n");
  }
  const std::string kept = "; the program is still in the session";
  const SaveTarget target = findSaveTarget(*path);
  if (target.refusal)
    return complain("save: " + *path + ": " + *target.refusal + kept +
                    ", and nothing was written\n");
  const std::string file = identity(target.path);
  const auto own = ownFiles_.find(file);
  // Another program (or another session) wrote the file since: vim asks so too.
  const bool changed = target.exists && own != ownFiles_.end() && own->second != target.stamp;
  if (target.exists && (target.readOnly || own == ownFiles_.end() || changed)) {
    std::string state = target.readOnly ? " is read-only" : " exists";
    if (changed) {
      state = (target.readOnly ? " is read-only and" : "") +
              std::string(" has changed since this session loaded or saved it");
    }
    const std::string question = "save: " + *path + state + ": type '" + typed_ +
                                 "' again to replace it" +
                                 (changed ? ", or save under another name to keep both\n" : "\n");
    if (!confirmed("save\n" + file, question)) return;
  }
  FileStamp written;
  if (const auto failure = saveProgramFile(target, programText(), written)) {
    return complain("save: " + *path + ": " + failure->reason + kept +
                    (!target.exists        ? ", and nothing was written\n"
                     : failure->fileIntact ? ", and the file is as it was\n"
                                           : ", and the file could not be put back as it was\n"));
  }
  changed_ = false;
  fileName_ = *path;
  ownFiles_[file] = written;
  say("saved " + countOf(lines_.size(), "line") + " to " + *path + "\n");
}

}  // namespace linebasic

#include "app/edit_file.h"

#include <charconv>
#include <cstdio>
#include <vector>

#include "check/check.h"
#include "edit/fix.h"
#include "edit/fix_text.h"
#include "edit/renumber.h"
#include "session/program_file.h"

namespace linebasic::app {
namespace {

// A number of --renumber: 1 to 9999, in plain decimal digits.
std::optional<std::int32_t> parseNumber(std::string_view text, std::string_view what,
                                        std::string& problem) {
  std::int32_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || end != text.data() + text.size() || error != std::errc() || n < 1 ||
      n > kLineNumberMax) {
    problem = "--renumber's " + std::string(what) + " is a number from 1 to 9999, not '" +
              std::string(text) + "' (such as --renumber=100,10)";
    return {};
  }
  return n;
}

std::string plural(std::size_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

// Rewrites `file` with `edited`, as the session's save does, unless it changed since `before`
// or may not be written; false after saying why.
bool rewrite(const std::string& file, const std::string& edited, const FileStamp& before) {
  const SaveTarget target = findSaveTarget(file);
  std::optional<std::string> problem = target.refusal;
  if (!problem && target.readOnly) problem = "is read-only";
  if (!problem && target.stamp != before) problem = "changed while it was being edited";
  if (!problem) {
    FileStamp written;
    if (const auto failure = saveProgramFile(target, edited, written)) {
      problem = failure->reason + (failure->fileIntact ? "" : ", and it could not be put back");
    }
  }
  if (problem)
    std::fprintf(stderr, "linebasic-run: %s: %s: not rewritten\n", file.c_str(), problem->c_str());
  return !problem;
}

// Puts `edited` where it goes (a file it would not change stays untouched); false when it
// could not.
bool deliver(const std::string& edited, const std::string& text, const std::string& file,
             const EditRequest& request, const FileStamp& before) {
  if (request.write) return edited == text || rewrite(file, edited, before);
  std::fwrite(edited.data(), 1, edited.size(), stdout);
  std::fflush(stdout);
  return true;
}

}  // namespace

std::optional<EditRequest> parseRenumber(std::string_view value, std::string& problem) {
  EditRequest request;
  const std::size_t comma = value.find(',');
  const auto start = parseNumber(value.substr(0, comma), "START", problem);
  if (!start) return {};
  request.start = *start;
  if (comma == std::string_view::npos) return request;
  const auto step = parseNumber(value.substr(comma + 1), "STEP", problem);
  if (!step) return {};
  request.step = *step;
  return request;
}

int editFile(const std::string& text, const std::string& file, const EditRequest& request) {
  const std::string shownName = file == "-" ? "<stdin>" : file;
  const FileStamp before = request.write ? findSaveTarget(file).stamp : FileStamp{};
  if (request.fix) {
    const Fixed fixed = applyFixes(text);
    if (!deliver(fixed.text, text, file, request, before)) return 1;
    for (const Diagnostic& diagnostic : fixed.applied) {
      std::fprintf(stderr, "%s:%d:%d: note: %s [%s]\n", shownName.c_str(), diagnostic.line,
                   diagnostic.column, describeFix(*diagnostic.fix).c_str(),
                   std::string(diagnostic.name).c_str());
    }
    std::fprintf(stderr, "%s: %s\n", shownName.c_str(),
                 fixed.applied.empty() ? "no warning has a fix"
                                       : (plural(fixed.applied.size(), "fix", "fixes") +
                                          (request.write ? " written" : ""))
                                             .c_str());
    return 0;
  }
  const Renumbered renumbered = renumber(text, {request.start, request.step, 0, kLineNumberMax});
  if (const auto& refusal = renumbered.refusal) {
    std::fprintf(stderr, "%s:%d:%d: error: %s\n", shownName.c_str(), refusal->textLine,
                 refusal->column, refusal->message.c_str());
    return 1;
  }
  std::size_t lines = 0;
  for (const auto& [old, renumber] : renumbered.numbers)
    lines += old != renumber ? 1 : 0;
  if (!deliver(renumbered.text, text, file, request, before)) return 1;
  std::fprintf(
      stderr, "%s: renumbered %s, %s\n", shownName.c_str(), plural(lines, "line", "lines").c_str(),
      plural(static_cast<std::size_t>(renumbered.targets), "jump target", "jump targets").c_str());
  return 0;
}

}  // namespace linebasic::app

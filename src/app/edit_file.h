// linebasic-run's edits of a program file: --fix and --renumber write the new program to
// standard output, or with --write put it in place of the file, as the session saves.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace linebasic::app {

struct EditRequest {
  bool fix = false;  // --fix; otherwise --renumber
  std::int32_t start = 10;
  std::int32_t step = 10;
  bool write = false;  // --write: rewrite the file rather than print the program
};

// The START and STEP of --renumber=START[,STEP] (`value` is what follows '='); nothing, after
// putting in `problem` what is wrong, for any other text.
std::optional<EditRequest> parseRenumber(std::string_view value, std::string& problem);

// Edits `text`, read from `file` (with its CR-LF line ends made LF), as `request` asks, and
// returns the exit status: 0 done, 1 refused or not written.
int editFile(const std::string& text, const std::string& file, const EditRequest& request);

}  // namespace linebasic::app

// Program files: read whole, with CR-LF line ends made LF, and written so that a failed write
// leaves the old file as it was.
#pragma once

#include <optional>
#include <string>

namespace linebasic {

// Reads all of `path` ("-": standard input) as bytes into `text`. On failure, the reason.
std::optional<std::string> readProgramFile(const std::string& path, std::string& text);

// The dialect ends lines with a line-feed alone: a carriage return in front of it would hide a
// keyword that ends its line, so CR-LF line ends become LF.
std::string withLineFeeds(const std::string& text);

// Writes `text` to a new file beside `path` and renames it over `path`, keeping the old file's
// permissions. On failure, the reason; `path` is then untouched.
std::optional<std::string> replaceFile(const std::string& path, const std::string& text);

}  // namespace linebasic

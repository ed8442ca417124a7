// Program files: read whole, with CR-LF line ends made LF; and written so that a save replaces
// nothing but the regular file it means, and a failed write leaves the old file as it was.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace linebasic {

// No program needs more than this; a larger file is refused.
inline constexpr std::size_t kProgramFileMax = std::size_t{16} << 20;

// What a file was when the session read or wrote it. When any of it differs later, another
// program has written the file since, or put another file in its place.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modifiedSeconds = 0;
  std::int64_t modifiedNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// Reads all of `path` ("-": standard input) as bytes into `text`, up to kProgramFileMax. On
// failure, the reason.
std::optional<std::string> readProgramFile(const std::string& path, std::string& text);

// The reason loadProgramFile gives when `interrupted` stopped it.
inline constexpr std::string_view kLoadStopped = "stopped";

// Reads the regular file at `path` into `text`, for the session: a device, FIFO, socket or
// directory is refused without waiting on it, and so is a file beyond kProgramFileMax. Stops
// when `interrupted` is set. On failure, the reason; `text` then holds nothing useful. `stamp`
// is the file's before it is read: a write while it is read makes the two differ.
std::optional<std::string> loadProgramFile(const std::string& path, std::string& text,
                                           const std::atomic<int>* interrupted, FileStamp& stamp);

// True when nothing is at `path` yet, in a folder that is there: a save can create the file.
bool isNewFile(const std::string& path);

// The dialect ends lines with a line-feed alone: a carriage return in front of it would hide a
// keyword that ends its line, so CR-LF line ends become LF.
std::string withLineFeeds(const std::string& text);

// What stands at the path a program is to be saved to.
struct SaveTarget {
  std::string path;                    // the file to write: the path, or where its symlink leads
  bool exists = false;                 // a regular file is there
  bool readOnly = false;               // its permission bits deny writing to its owner
  FileStamp stamp;                     // the file's, when it exists
  std::optional<std::string> refusal;  // why nothing may be written there at all
};

// Why a save failed, and whether the file there is still as it was.
struct SaveFailure {
  std::string reason;
  bool fileIntact;
};

// Looks at `path` without changing anything.
SaveTarget findSaveTarget(const std::string& path);

// Writes `text` to the target's file. A new file, or one alone in a folder that may be written,
// is written beside it and renamed over it; a file with other hard links, or in a folder that
// may not be written, is rewritten in place, and put back as it was when that fails. The
// file's permission bits stay as they were. `written` is the stamp of the file written.
std::optional<SaveFailure> saveProgramFile(const SaveTarget& target, const std::string& text,
                                           FileStamp& written);

}  // namespace linebasic

#include "session/program_file.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace linebasic {
namespace {

std::string reason(int error) {
  return std::strerror(error);
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  [[nodiscard]] int get() const { return fd_; }
  // Closes now, to learn whether the last writes reached the file: 0, or an errno.
  int close() { return ::close(std::exchange(fd_, -1)) == 0 ? 0 : errno; }

 private:
  int fd_;
};

// Why a file of this type is no place for a program; nothing for a regular file.
std::optional<std::string> notAFile(mode_t mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISDIR(mode)) return "is a directory, not a file";
  if (S_ISFIFO(mode)) return "is a FIFO (a named pipe), not a file";
  if (S_ISSOCK(mode)) return "is a socket, not a file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a file";
  return "is not a regular file";
}

FileStamp stampOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::int64_t>(info.st_size), static_cast<std::int64_t>(info.st_mtim.tv_sec),
          static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

// The stamp of the open file `fd`; when it cannot be had, one that no file has.
FileStamp stampOf(int fd) {
  struct stat info {};
  return ::fstat(fd, &info) == 0 ? stampOf(info) : FileStamp{};
}

const std::string kTooLarge = "is larger than 16 MiB, which no program needs";

// Writes all of `text` to `fd` from `offset`; false, with errno set, when it cannot.
bool writeAll(int fd, const std::string& text, off_t offset, std::size_t* wrote = nullptr) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written =
        ::pwrite(fd, text.data() + done, text.size() - done, offset + static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    done += static_cast<std::size_t>(written);
  }
  if (wrote != nullptr) *wrote = done;
  return done == text.size();
}

// While a file is written, passing the process's limit on file size (ulimit -f) fails the
// write with EFBIG instead of ending the process with SIGXFSZ half way: the failure is told,
// and a file rewritten in place gets its old text back. Per thread, and the signal a write
// raised meanwhile is taken, not left pending.
class FileSizeSignalHeld {
 public:
  FileSizeSignalHeld() {
    sigemptyset(&signal_);
    sigaddset(&signal_, SIGXFSZ);
    pthread_sigmask(SIG_BLOCK, &signal_, &before_);
  }
  ~FileSizeSignalHeld() {
    const timespec now{};
    while (sigtimedwait(&signal_, nullptr, &now) == SIGXFSZ) {
    }
    pthread_sigmask(SIG_SETMASK, &before_, nullptr);
  }
  FileSizeSignalHeld(const FileSizeSignalHeld&) = delete;
  FileSizeSignalHeld& operator=(const FileSizeSignalHeld&) = delete;

 private:
  sigset_t signal_{};
  sigset_t before_{};
};

// Reads the open regular file `fd` into `text`, up to kProgramFileMax bytes; the reason when it
// cannot. Stops when `interrupted` is set.
std::optional<std::string> readAll(int fd, std::string& text, const std::atomic<int>* interrupted) {
  std::vector<char> buffer(std::size_t{1} << 16);
  text.clear();
  while (true) {
    if (interrupted != nullptr && interrupted->load() != 0) return std::string(kLoadStopped);
    const ssize_t count = ::read(fd, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return reason(errno);
    if (count == 0) return {};
    if (text.size() + static_cast<std::size_t>(count) > kProgramFileMax) return kTooLarge;
    text.append(buffer.data(), static_cast<std::size_t>(count));
  }
}

// The permissions a new file gets: the usual ones less the umask.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool mayWrite(const std::string& path) {
  return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes a new file beside `path` and renames it over `path`, with the old file's owner and
// permission bits (`old`) when there is one.
std::optional<SaveFailure> replaceByRename(const std::string& path, const std::string& text,
                                           const struct stat* old, FileStamp& written) {
  std::string temporary = path + ".XXXXXX";
  Descriptor file(::mkstemp(temporary.data()));
  if (file.get() < 0) return SaveFailure{reason(errno), true};
  // Only root may give the file back to its owner; anyone else keeps it already.
  [[maybe_unused]] const bool owned =
      old != nullptr && ::fchown(file.get(), old->st_uid, old->st_gid) == 0;
  const mode_t mode = old != nullptr ? old->st_mode & 07777 : newFileMode();
  const bool done =
      ::fchmod(file.get(), mode) == 0 && writeAll(file.get(), text, 0) && ::fsync(file.get()) == 0;
  const int writeError = done ? 0 : errno;
  written = stampOf(file.get());
  const int closeError = file.close();
  const int error = writeError != 0 ? writeError : closeError;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) == 0) return {};
  const int failure = error != 0 ? error : errno;
  ::unlink(temporary.c_str());
  return SaveFailure{reason(failure), true};
}

// Writes `text` over the file at `path` itself, so that its other names, and a folder that may
// not be written, keep it; when a write fails, the old text is put back.
std::optional<SaveFailure> rewriteInPlace(const std::string& path, const std::string& text,
                                          FileStamp& written) {
  Descriptor file(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return SaveFailure{reason(errno), true};
  if (const auto kind = notAFile(info.st_mode)) return SaveFailure{*kind, true};
  std::string old;
  if (const auto error = readAll(file.get(), old, nullptr)) return SaveFailure{*error, true};
  // Room for the longer text is taken first, so a full disk fails before the text is touched.
  if (text.size() > old.size() &&
      ::fallocate(file.get(), 0, 0, static_cast<off_t>(text.size())) != 0 && errno != EOPNOTSUPP) {
    return SaveFailure{reason(errno), true};
  }
  const auto size = static_cast<off_t>(text.size());
  std::size_t wrote = 0;
  if (writeAll(file.get(), text, 0, &wrote) && ::ftruncate(file.get(), size) == 0 &&
      ::fsync(file.get()) == 0) {
    written = stampOf(file.get());
    return {};
  }
  const int error = errno;
  // Only the bytes written over the old text need it back.
  const bool restored = writeAll(file.get(), old.substr(0, std::min(wrote, old.size())), 0) &&
                        ::ftruncate(file.get(), static_cast<off_t>(old.size())) == 0 &&
                        ::fsync(file.get()) == 0;
  return SaveFailure{reason(error), restored};
}

}  // namespace

std::optional<std::string> readProgramFile(const std::string& path, std::string& text) {
  std::FILE* const in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) return reason(errno);
  std::vector<char> buffer(1 << 16);
  std::size_t count = 0;
  bool tooLarge = false;  // an endless file (a device, a pipe) stops here too
  while (!tooLarge && (count = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) {
    tooLarge = text.size() + count > kProgramFileMax;
    if (!tooLarge) text.append(buffer.data(), count);
  }
  const bool failed = std::ferror(in) != 0;
  const int readError = errno;
  if (in != stdin) std::fclose(in);
  if (tooLarge) return kTooLarge;
  if (failed) return reason(readError);
  return {};
}

std::optional<std::string> loadProgramFile(const std::string& path, std::string& text,
                                           const std::atomic<int>* interrupted, FileStamp& stamp) {
  // O_NONBLOCK: opening a FIFO does not wait for a writer, so it can be refused at once.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  if (file.get() < 0 || ::fstat(file.get(), &info) != 0) return reason(errno);
  if (auto kind = notAFile(info.st_mode)) return kind;
  if (static_cast<std::size_t>(info.st_size) > kProgramFileMax) return kTooLarge;
  stamp = stampOf(info);
  return readAll(file.get(), text, interrupted);
}

bool isNewFile(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) != 0 && errno == ENOENT &&
         ::stat(folderOf(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string withLineFeeds(const std::string& text) {
  std::string converted;
  converted.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') converted += text[i];
  }
  return converted;
}

SaveTarget findSaveTarget(const std::string& path) {
  SaveTarget target;
  target.path = path;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) target.refusal = reason(errno);
    return target;
  }
  if (S_ISLNK(info.st_mode)) {
    char* const resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) {
      target.refusal =
          errno == ENOENT ? "is a symbolic link to a file that does not exist" : reason(errno);
      return target;
    }
    target.path = resolved;
    std::free(resolved);
    if (::stat(target.path.c_str(), &info) != 0) {
      target.refusal = reason(errno);
      return target;
    }
  }
  target.refusal = notAFile(info.st_mode);
  target.exists = true;
  target.stamp = stampOf(info);
  target.readOnly = (info.st_mode & 0222) == 0 || !mayWrite(target.path);
  return target;
}

std::optional<SaveFailure> saveProgramFile(const SaveTarget& target, const std::string& text,
                                           FileStamp& written) {
  if (target.refusal) return SaveFailure{*target.refusal, true};
  const FileSizeSignalHeld held;
  struct stat info {};
  if (::lstat(target.path.c_str(), &info) != 0) {
    if (errno != ENOENT) return SaveFailure{reason(errno), true};
    return replaceByRename(target.path, text, nullptr, written);
  }
  if (const auto kind = notAFile(info.st_mode)) return SaveFailure{*kind, true};
  if (info.st_nlink > 1 || !mayWrite(folderOf(target.path)))
    return rewriteInPlace(target.path, text, written);
  return replaceByRename(target.path, text, &info, written);
}

}  // namespace linebasic

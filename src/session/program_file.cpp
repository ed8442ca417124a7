#include "session/program_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace linebasic {
namespace {

std::string reason(int error) {
  return std::strerror(error);
}

// Writes all of `text` to `fd`; false, with errno set, when it cannot.
bool writeAll(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

// The permissions a new file gets: the old file's, or the usual ones less the umask.
mode_t modeFor(const std::string& path) {
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) return old.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::optional<std::string> readProgramFile(const std::string& path, std::string& text) {
  std::FILE* const in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
  if (in == nullptr) return reason(errno);
  std::vector<char> buffer(1 << 16);
  std::size_t count = 0;
  while ((count = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
    text.append(buffer.data(), count);
  const bool failed = std::ferror(in) != 0;
  const int readError = errno;
  if (in != stdin) std::fclose(in);
  if (failed) return reason(readError);
  return {};
}

std::string withLineFeeds(const std::string& text) {
  std::string converted;
  converted.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') converted += text[i];
  }
  return converted;
}

std::optional<std::string> replaceFile(const std::string& path, const std::string& text) {
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return reason(errno);
  const bool written = ::fchmod(fd, modeFor(path)) == 0 && writeAll(fd, text) && ::fsync(fd) == 0;
  const int writeError = errno;
  if (::close(fd) != 0 && written) {
    const int closeError = errno;
    ::unlink(temporary.c_str());
    return reason(closeError);
  }
  if (!written) {
    ::unlink(temporary.c_str());
    return reason(writeError);
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int renameError = errno;
    ::unlink(temporary.c_str());
    return reason(renameError);
  }
  return {};
}

}  // namespace linebasic

// The server's transport: messages framed by a Content-Length header, read from one file
// descriptor and written to another. A header without a length, or a body that is no JSON, is
// logged and answered as far as the protocol allows; the server reads on.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <optional>
#include <string>
#include <string_view>

#include "lsp/server.h"

namespace linebasic::lsp {
namespace {

constexpr std::size_t kReadSize = 1 << 16;
constexpr std::size_t kHeaderMax = 1 << 16;                  // bytes of headers before a blank line
constexpr std::size_t kMessageMax = std::size_t{256} << 20;  // bytes of one message's body
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLengthField = "content-length:";

// The value of the Content-Length field among `headers`, matched in any letter case; anything
// before it (the rest of a body whose length was given short) is passed over.
std::optional<std::size_t> contentLength(std::string_view headers) {
  std::string lowered(headers);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  const std::size_t field = lowered.rfind(kLengthField);
  if (field == std::string::npos) return {};
  std::size_t at = field + kLengthField.size();
  while (at < headers.size() && headers[at] == ' ')
    ++at;
  std::size_t length = 0;
  const std::size_t digits = at;
  for (; at < headers.size() && headers[at] >= '0' && headers[at] <= '9'; ++at) {
    if (length > kMessageMax) return kMessageMax + 1;
    length = length * 10 + static_cast<std::size_t>(headers[at] - '0');
  }
  const bool lineEnds = at == headers.size() || headers[at] == '\r';
  if (at == digits || !lineEnds) return {};
  return length;
}

class MessageReader {
 public:
  explicit MessageReader(int input) : input_(input) {}

  // The body of the next message; nothing once the input ends.
  std::optional<std::string> next() {
    while (true) {
      const std::size_t headerEnd = buffer_.find(kHeaderEnd, start_);
      if (headerEnd == std::string::npos) {
        if (buffer_.size() - start_ > kHeaderMax) {
          logLine("dropped " + std::to_string(buffer_.size() - start_) + " bytes without a header");
          start_ = buffer_.size() - (kHeaderEnd.size() - 1);
        }
        if (!fill()) return {};
        continue;
      }
      const std::optional<std::size_t> length =
          contentLength(std::string_view(buffer_).substr(start_, headerEnd - start_));
      start_ = headerEnd + kHeaderEnd.size();
      if (!length || *length > kMessageMax) {
        logLine(length ? "dropped a message of more than 256 MiB"
                       : "dropped a message without a Content-Length header");
        if (length && !skip(*length)) return {};
        continue;
      }
      while (buffer_.size() - start_ < *length) {
        if (!fill()) return {};
      }
      std::string body = buffer_.substr(start_, *length);
      start_ += *length;
      return body;
    }
  }

  // True when more input is there to read now.
  [[nodiscard]] bool inputWaiting() const {
    if (buffer_.size() > start_) return true;
    pollfd input{input_, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
  }

 private:
  // Reads what the input has; false at its end or on an error.
  bool fill() {
    if (start_ > 0) {  // what was read before is done with
      buffer_.erase(0, start_);
      start_ = 0;
    }
    char chunk[kReadSize];
    ssize_t got = 0;
    do {
      got = ::read(input_, chunk, sizeof chunk);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    buffer_.append(chunk, static_cast<std::size_t>(got));
    return true;
  }

  // Passes over `length` bytes of input; false when it ends first.
  bool skip(std::size_t length) {
    while (buffer_.size() - start_ < length) {
      length -= buffer_.size() - start_;
      start_ = buffer_.size();
      if (!fill()) return false;
    }
    start_ += length;
    return true;
  }

  int input_;
  std::string buffer_;
  std::size_t start_ = 0;  // where the unread part of buffer_ starts
};

// Writes one framed message; false when the output is gone.
bool writeMessage(int output, const std::string& body) {
  const std::string message = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  std::size_t written = 0;
  while (written < message.size()) {
    const ssize_t put = ::write(output, message.data() + written, message.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    written += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

int serve(int input, int output) {
  std::signal(SIGPIPE, SIG_IGN);  // a client gone is a failed write, not a signal
  bool outputGone = false;
  Server server([&](const std::string& body) {
    if (!outputGone && !writeMessage(output, body)) {
      logLine("the output is closed");
      outputGone = true;
    }
  });
  MessageReader reader(input);
  while (!outputGone) {
    const std::optional<std::string> body = reader.next();
    if (!body) break;
    try {
      server.receive(*body);
      if (server.exited()) return server.exitStatus();
      if (!reader.inputWaiting()) server.publishPending();
    } catch (const std::exception& problem) {
      logLine(std::string("a message failed: ") + problem.what());
    }
  }
  return 1;
}

}  // namespace linebasic::lsp

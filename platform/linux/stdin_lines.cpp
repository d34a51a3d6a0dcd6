#include "platform/linux/stdin_lines.hpp"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/diagnostics.hpp"
#include "platform/linux/end_signals.hpp"

namespace platform::lnx {

bool StdinLines::read_line() {
  for (;;) {
    if (signals_ != nullptr) signals_->end_if_requested();
    if (const auto newline = buffer_.find('\n'); newline != std::string::npos) {
      buffer_.erase(0, newline + 1);
      return true;
    }
    if (eof_) {
      const bool last = !buffer_.empty();
      buffer_.clear();
      return last;
    }
    // The signal handlers restart an interrupted read: only poll sees the wake-up pipe.
    pollfd watched[2] = {{fd_, POLLIN, 0}, {signals_ != nullptr ? signals_->wake_fd() : -1, POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      Diagnostic(std::string("lumatext: poll auf der Standardeingabe: ") + std::strerror(errno));
      eof_ = true;
      continue;
    }
    if (watched[0].revents == 0) continue;
    char bytes[256];
    const ssize_t got = ::read(fd_, bytes, sizeof bytes);
    if (got > 0) {
      buffer_.append(bytes, static_cast<std::size_t>(got));
    } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
      eof_ = true;
    }
  }
}

}  // namespace platform::lnx

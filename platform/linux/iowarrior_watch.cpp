#include "platform/linux/iowarrior_watch.hpp"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include "platform/diagnostics.hpp"
#include "platform/linux/end_signals.hpp"
#include "platform/linux/linux_iowkit.hpp"

namespace platform::lnx {
namespace {

// poll(2) counts whole milliseconds and wakes late: the last stretch before the deadline
// is left to the clock's precise sleep.
constexpr std::chrono::milliseconds kClockMargin{2};

// poll's time-out for the wait up to `deadline`; -1 for none.
int PollTimeout(iow::TimePoint now, iow::TimePoint deadline) {
  if (deadline == iow::TimePoint::max()) return -1;
  const auto milliseconds = std::chrono::floor<std::chrono::milliseconds>(deadline - now - kClockMargin).count();
  return milliseconds < INT_MAX ? static_cast<int>(milliseconds) : INT_MAX;
}

}  // namespace

bool IowarriorWatch::wait_until_gone(iow::TimePoint deadline) {
  for (;;) {
    if (signals_ != nullptr) signals_->end_if_requested();
    if (kit_.gone(kit_.open_handle())) return true;
    const iow::TimePoint now = clock_.now();
    if (now >= deadline) return false;
    if (deadline != iow::TimePoint::max() && deadline - now <= kClockMargin) {
      clock_.sleep_until(deadline);
      continue;
    }
    // No events asked of the node: poll reports its hang-up regardless. A negative
    // descriptor (no node open, no pipe) is skipped.
    pollfd watched[2] = {{kit_.watch_fd(), 0, 0}, {signals_ != nullptr ? signals_->wake_fd() : -1, POLLIN, 0}};
    if (::poll(watched, 2, PollTimeout(now, deadline)) < 0 && errno != EINTR) {
      Diagnostic(std::string("poll: ") + std::strerror(errno));
      // Without poll the device is watched at the next write only.
      clock_.sleep_until(deadline == iow::TimePoint::max() ? now + std::chrono::hours{1} : deadline);
    }
  }
}

}  // namespace platform::lnx

#include "platform/linux/iowarrior_watch.hpp"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/diagnostics.hpp"
#include "platform/linux/device_files.hpp"
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

// How often a returning IO-Warrior is looked for: the sign is back within about half a
// second of its node, at two looks a second.
constexpr int kReturnLookMilliseconds = 500;

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

bool IowarriorPinsNodeReady(std::uint64_t lost, const std::string& node_dir, const std::string& class_dir) {
  SystemDeviceFiles files;
  for (const std::string& name : IowarriorNodeNames(files, node_dir)) {
    const std::string node = node_dir + "/" + name;
    struct stat status {};
    if (::stat(node.c_str(), &status) != 0 || (lost != 0 && status.st_ino == lost)) continue;
    if (::access(node.c_str(), R_OK | W_OK) != 0) continue;
    const std::string interface = class_dir + "/" + name + "/device";
    if (::access(interface.c_str(), F_OK) != 0) return true;
    IowarriorInfo info;
    if (IowarriorInfoFromSysfs(interface, info) == 0 && info.if_num == kPinsInterface) return true;
  }
  return false;
}

void AwaitIowarriorPinsNode(std::uint64_t lost, EndSignals* signals) {
  // A device lost in the middle of a press left the flag set; with no IO-Warrior open no
  // line of ours is held, and an end signal must end the wait.
  if (signals != nullptr) signals->set_key_held(false);
  for (;;) {
    if (signals != nullptr) signals->end_if_requested();
    if (IowarriorPinsNodeReady(lost)) return;
    pollfd wake{signals != nullptr ? signals->wake_fd() : -1, POLLIN, 0};
    if (::poll(&wake, 1, kReturnLookMilliseconds) < 0 && errno != EINTR) {
      Diagnostic(std::string("poll: ") + std::strerror(errno));
      ::usleep(kReturnLookMilliseconds * 1000);
    }
  }
}

}  // namespace platform::lnx

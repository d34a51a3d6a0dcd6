#include "platform/windows/hid/hid_watch.hpp"

#include <chrono>

#include "platform/windows/service/end_request.hpp"

namespace platform::windows {
namespace {

// WaitForSingleObject counts whole milliseconds at the system timer's resolution: the
// last stretch before the deadline is left to the clock's precise wait.
constexpr std::chrono::milliseconds kClockMargin{20};
// How often the pause looks whether the device's interface is still present: the read
// kept pending does not end under Wine when the device goes, so it cannot be the only sign.
constexpr std::chrono::seconds kLookEvery{1};

}  // namespace

bool HidWatch::wait_until_gone(iow::TimePoint deadline) {
  for (;;) {
    const iow::IowKitHandle handle = kit_.last_opened();
    if (kit_.gone(handle) || kit_.look_for_device(handle)) return true;
    const iow::TimePoint now = clock_.now();
    if (now >= deadline) return false;
    const iow::TimePoint next_look = deadline - now > kLookEvery ? now + kLookEvery : deadline;
    HANDLE read_ended = kit_.watch_event(handle);
    if (read_ended == nullptr || next_look - now <= kClockMargin) {
      clock_.sleep_until(next_look);
      continue;
    }
    // The last stretch before the deadline is the clock's; a look comes sooner anyway.
    const iow::Duration until = next_look == deadline ? next_look - now - kClockMargin : next_look - now;
    const auto timeout = static_cast<DWORD>(std::chrono::floor<std::chrono::milliseconds>(until).count());
    // A request to end wakes the pause as it wakes the clock's sleeps.
    const HANDLE end_wake = end_ != nullptr ? end_->wake_event() : nullptr;
    const HANDLE events[] = {read_ended, end_wake};
    WaitForMultipleObjects(end_wake != nullptr ? 2 : 1, events, FALSE, timeout);
    if (end_ != nullptr) end_->end_if_requested();
  }
}

}  // namespace platform::windows

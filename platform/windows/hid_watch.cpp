#include "platform/windows/hid_watch.hpp"

#include <chrono>

#include "platform/windows/service/end_request.hpp"

namespace platform::windows {
namespace {

// WaitForSingleObject counts whole milliseconds at the system timer's resolution: the
// last stretch before the deadline is left to the clock's precise wait.
constexpr std::chrono::milliseconds kClockMargin{20};
// Without a pending read there is nothing to wait on but the clock, in steps this long
// when the wait has no deadline.
constexpr std::chrono::hours kIdleStep{1};

}  // namespace

bool HidWatch::wait_until_gone(iow::TimePoint deadline) {
  for (;;) {
    const iow::IowKitHandle handle = kit_.last_opened();
    if (kit_.gone(handle)) return true;
    const iow::TimePoint now = clock_.now();
    if (now >= deadline) return false;
    const bool endless = deadline == iow::TimePoint::max();
    HANDLE read_ended = kit_.watch_event(handle);
    if (read_ended == nullptr || (!endless && deadline - now <= kClockMargin)) {
      clock_.sleep_until(endless ? now + kIdleStep : deadline);
      continue;
    }
    DWORD timeout = INFINITE;
    if (!endless) {
      const auto milliseconds = std::chrono::floor<std::chrono::milliseconds>(deadline - now - kClockMargin).count();
      timeout = static_cast<DWORD>(milliseconds < INFINITE - 1 ? milliseconds : INFINITE - 1);
    }
    // A request to end wakes the pause as it wakes the clock's sleeps.
    const HANDLE end_wake = end_ != nullptr ? end_->wake_event() : nullptr;
    const HANDLE events[] = {read_ended, end_wake};
    WaitForMultipleObjects(end_wake != nullptr ? 2 : 1, events, FALSE, timeout);
    if (end_ != nullptr) end_->end_if_requested();
  }
}

}  // namespace platform::windows

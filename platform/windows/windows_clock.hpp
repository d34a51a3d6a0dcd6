#pragma once
// The clocks of a Windows machine: the performance counter, precise waits on it, and
// the local time of day.

#include <windows.h>

#include <functional>

#include "platform/iow.hpp"

namespace platform::windows {

// A timer to wait on that fires no earlier than asked. Uses a high-resolution waitable
// timer where Windows has one (Windows 10 1803 and later); elsewhere an ordinary one,
// whose waits are made precise by raising the system timer resolution once.
class PreciseTimer {
 public:
  PreciseTimer();
  ~PreciseTimer();
  PreciseTimer(const PreciseTimer&) = delete;
  PreciseTimer& operator=(const PreciseTimer&) = delete;

  // Arms the timer to signal after `delay` (rounded up to 100 ns); false when it cannot.
  bool arm(iow::Duration delay);
  // The handle to wait on after arm; null when no timer could be created.
  HANDLE handle() const { return handle_; }
  bool high_resolution() const { return high_resolution_; }

 private:
  HANDLE handle_ = nullptr;
  bool high_resolution_ = false;
};

// Raises the system timer resolution to 1 ms for the rest of the process, on the
// first call; where the high-resolution timer is missing, waits need it.
void RaiseTimerResolutionOnce();

class WindowsClock final : public iow::Clock {
 public:
  WindowsClock();

  // The performance counter: monotonic, unaffected by setting the clock.
  iow::TimePoint now() override;
  // Never returns before `deadline`; overshoots by the timer's resolution at most.
  void sleep_until(iow::TimePoint deadline) override;
  // From now on sleeps call `dispatch` whenever window messages arrive, so that windows
  // stay drawn; it must only queue what the program is to see later.
  void dispatch_while_sleeping(std::function<void()> dispatch) { dispatch_ = std::move(dispatch); }
  // The local time of day with the system clock's full precision.
  double time_of_day() override;

  PreciseTimer& timer() { return timer_; }

 private:
  LARGE_INTEGER frequency_{};
  PreciseTimer timer_;
  std::function<void()> dispatch_;
};

}  // namespace platform::windows

#pragma once
// The clocks of a Windows machine: the performance counter, precise waits on it, and
// the local time of day.

#include <windows.h>

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

// Waits until `delay` has passed on `timer` (never less; Duration::max(): no time-out)
// or, with `wake_on_messages`, until a window message arrives, whichever comes first.
void WaitForTimerOrMessages(PreciseTimer& timer, iow::Duration delay, bool wake_on_messages);

// Dispatches every waiting message of the thread, with the keyboard of each top-level
// window handled as in a dialog (Tab, the arrow keys, Space and Return).
void DispatchWaitingMessages();

class EndRequest;

class WindowsClock final : public iow::Clock {
 public:
  // With `end`, sleeps wake for its requests and end the program there (see sleep_until).
  explicit WindowsClock(EndRequest* end = nullptr);

  // The performance counter: monotonic, unaffected by setting the clock.
  iow::TimePoint now() override;
  // Never returns before `deadline`; overshoots by the timer's resolution at most. With
  // an EndRequest, ends the program (platform::ProgramEnd) as soon as an end is requested
  // while no key is held, also in the middle of the sleep.
  void sleep_until(iow::TimePoint deadline) override;
  // The local time of day with the system clock's full precision.
  double time_of_day() override;

 private:
  LARGE_INTEGER frequency_{};
  PreciseTimer timer_;
  EndRequest* end_;
};

}  // namespace platform::windows

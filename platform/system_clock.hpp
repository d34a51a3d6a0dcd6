#pragma once
// The machine's own clocks.

#include "platform/iow.hpp"

namespace platform {

// Monotonic time from the operating system's steady clock, blocking waits on it,
// and the local time of day.
class SystemClock final : public iow::Clock {
 public:
  iow::TimePoint now() override;
  void sleep_until(iow::TimePoint deadline) override;
  double time_of_day() override;
};

}  // namespace platform

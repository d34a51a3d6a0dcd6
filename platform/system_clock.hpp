#pragma once
// The machine's own clocks.

#include <chrono>

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

// Seconds since local midnight, with fractions, of the wall time `wall` (the time zone
// as the C library has it). Right for any time a 64-bit time_t holds, after 2038 too.
double LocalTimeOfDay(std::chrono::system_clock::time_point wall);

}  // namespace platform

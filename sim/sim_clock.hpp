#pragma once
// Simulated time: virtual (speed 0, never sleeps) or real time run N times faster.

#include "platform/iow.hpp"

namespace sim {

// `seconds` of simulated time as a duration.
inline iow::Duration Seconds(double seconds) {
  return std::chrono::duration_cast<iow::Duration>(std::chrono::duration<double>(seconds));
}

// Thrown when simulated time would pass the run's limit, or when a virtual clock is
// asked to wait for ever with nothing that could end the wait.
struct TimeLimitReached {
  iow::TimePoint at;
};

class SimClock final : public iow::Clock {
 public:
  // `start_time_of_day` in seconds since midnight. With `speed` 0 time advances only
  // when a sleep asks it to; with `speed` N > 0 it follows `real` N times faster, and
  // a sleep ends exactly at its deadline in simulated time however late `real` wakes.
  explicit SimClock(double start_time_of_day, double speed = 0, iow::Clock* real = nullptr);

  iow::TimePoint now() override;
  void sleep_until(iow::TimePoint deadline) override;
  double time_of_day() override;

  // The moment on the real clock at which simulated time reaches `deadline`; only for
  // a speed above 0.
  iow::TimePoint real_deadline(iow::TimePoint deadline) const;

  // Simulated time never passes `limit`: a sleep beyond it stops there and throws
  // TimeLimitReached.
  void set_limit(iow::TimePoint limit) { limit_ = limit; }
  // Sets the time of day as from now, like a user setting the clock.
  void set_time_of_day(double seconds);

 private:
  double start_time_of_day_;
  double speed_;
  iow::Clock* real_;
  // Simulated time is virtual_now_ at real time real_anchor_, and runs `speed` times
  // faster than the real clock from there.
  iow::TimePoint real_anchor_{};
  iow::TimePoint virtual_now_{};
  iow::TimePoint limit_ = iow::TimePoint::max();
};

}  // namespace sim

#pragma once
// Simulated time: virtual (speed 0, never sleeps) or real time run N times faster.

#include <cstdint>
#include <functional>

#include "platform/iow.hpp"
#include "platform/program_end.hpp"

namespace sim {

// `seconds` of simulated time as a duration.
inline iow::Duration Seconds(double seconds) {
  return std::chrono::duration_cast<iow::Duration>(std::chrono::duration<double>(seconds));
}

// Exit status when simulated time reaches the run's limit.
inline constexpr int kExitTimeLimit = 3;

// Ends the program when simulated time would pass the run's limit, or when a virtual
// clock is asked to wait for ever with nothing that could end the wait.
struct TimeLimitReached : platform::ProgramEnd {
  explicit TimeLimitReached(iow::TimePoint time) : ProgramEnd{kExitTimeLimit}, at(time) {}
  iow::TimePoint at;
};

// Reads of a virtual clock in a row without time moving on, after which the clock takes
// the program to be stuck in a loop that waits on time without sleeping.
inline constexpr std::uint32_t kStandstillReads = 1'000'000;

class SimClock final : public iow::Clock {
 public:
  // `start_time_of_day` in seconds since midnight. With `speed` 0 time advances only
  // when a sleep asks it to; with `speed` N > 0 it follows `real` N times faster, and
  // a sleep ends exactly at its deadline in simulated time however late `real` wakes.
  explicit SimClock(double start_time_of_day, double speed = 0, iow::Clock* real = nullptr);

  // In virtual time, the kStandstillReads-th read in a row without a sleep moving time on
  // aborts the process with a diagnostic: a loop that polls virtual time would otherwise
  // hang for ever.
  iow::TimePoint now() override;
  // Ends the program (TimeLimitReached) where the deadline lies beyond the limit, once;
  // the ending work after it may take time past the limit.
  void sleep_until(iow::TimePoint deadline) override;
  double time_of_day() override;

  // The moment on the real clock at which simulated time reaches `deadline`; only for
  // a speed above 0.
  iow::TimePoint real_deadline(iow::TimePoint deadline) const;

  // Simulated time stops at `limit`: a sleep beyond it stops there and throws
  // TimeLimitReached.
  void set_limit(iow::TimePoint limit) { limit_ = limit; }
  // Sets the time of day as from now, like a user setting the clock.
  void set_time_of_day(double seconds);
  // Called before every sleep on the real clock.
  void set_before_real_wait(std::function<void()> before) { before_real_wait_ = std::move(before); }

 private:
  // Counts a read of virtual time; aborts when time has stood still for too long.
  void note_read();

  double start_time_of_day_;
  double speed_;
  iow::Clock* real_;
  // Simulated time is virtual_now_ at real time real_anchor_, and runs `speed` times
  // faster than the real clock from there.
  iow::TimePoint real_anchor_{};
  iow::TimePoint virtual_now_{};
  iow::TimePoint limit_ = iow::TimePoint::max();
  std::uint32_t reads_without_progress_ = 0;
  std::function<void()> before_real_wait_;
};

}  // namespace sim

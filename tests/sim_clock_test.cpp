#include "sim/sim_clock.hpp"

#include <gtest/gtest.h>

namespace {

using std::chrono::seconds;

TEST(SimClock, VirtualTimeMovesOnlyWhenSleepingAndNeverBack) {
  sim::SimClock clock(0);
  EXPECT_EQ(clock.now(), iow::TimePoint{});
  clock.sleep_until(iow::TimePoint{} + seconds{5});
  clock.sleep_until(iow::TimePoint{} + seconds{2});
  EXPECT_EQ(clock.now(), iow::TimePoint{} + seconds{5});
}

TEST(SimClock, TimeOfDayWrapsAtMidnight) {
  sim::SimClock clock(86399.5);
  clock.sleep_until(iow::TimePoint{} + seconds{1});
  EXPECT_DOUBLE_EQ(clock.time_of_day(), 0.5);
  clock.set_time_of_day(3600);
  EXPECT_DOUBLE_EQ(clock.time_of_day(), 3600);
  EXPECT_EQ(clock.now(), iow::TimePoint{} + seconds{1}) << "setting the time of day leaves monotonic time";
}

TEST(SimClock, StopsAtItsLimitAndRefusesToWaitForEver) {
  sim::SimClock clock(0);
  clock.set_limit(iow::TimePoint{} + seconds{10});
  EXPECT_THROW(clock.sleep_until(iow::TimePoint{} + seconds{11}), sim::TimeLimitReached);
  EXPECT_EQ(clock.now(), iow::TimePoint{} + seconds{10});
  sim::SimClock unlimited(0);
  EXPECT_THROW(unlimited.sleep_until(iow::TimePoint::max()), sim::TimeLimitReached);
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(SimClockDeathTest, ALoopPollingVirtualTimeWithoutSleepingFailsInsteadOfHanging) {
  EXPECT_DEATH(
      {
        sim::SimClock clock(0);
        while (clock.time_of_day() < 60) {
        }
      },
      "virtuelle Zeit steht still");
}
#endif

// A real clock that records the deadlines it is asked to sleep to.
class RecordingClock final : public iow::Clock {
 public:
  iow::TimePoint now() override { return now_; }
  void sleep_until(iow::TimePoint deadline) override { now_ = std::max(now_, deadline); }
  double time_of_day() override { return 0; }

 private:
  iow::TimePoint now_ = iow::TimePoint{} + seconds{1000};
};

TEST(SimClock, FasterSpeedsSleepAFractionOfTheSimulatedTime) {
  RecordingClock real;
  sim::SimClock clock(0, 10, &real);
  clock.sleep_until(iow::TimePoint{} + seconds{60});
  EXPECT_EQ(real.now(), iow::TimePoint{} + seconds{1006});
  EXPECT_EQ(clock.now(), iow::TimePoint{} + seconds{60});
  EXPECT_EQ(clock.real_deadline(iow::TimePoint{} + seconds{120}), iow::TimePoint{} + seconds{1012});
}

// A real clock that wakes 2 ms late from every sleep.
class LateClock final : public iow::Clock {
 public:
  iow::TimePoint now() override { return now_; }
  void sleep_until(iow::TimePoint deadline) override { now_ = std::max(now_, deadline) + std::chrono::milliseconds{2}; }
  double time_of_day() override { return 0; }
  void pass(iow::Duration d) { now_ += d; }

 private:
  iow::TimePoint now_{};
};

TEST(SimClock, LateRealWakeUpsDoNotStretchSimulatedHolds) {
  LateClock real;
  sim::SimClock clock(0, 1000, &real);
  clock.sleep_until(iow::TimePoint{} + std::chrono::milliseconds{50});
  EXPECT_EQ(clock.now(), iow::TimePoint{} + std::chrono::milliseconds{50}) << "not 50 ms + 1000 x 2 ms";
  // Between sleeps simulated time runs on with the real clock, 1000 times faster.
  real.pass(std::chrono::microseconds{10});
  EXPECT_EQ(clock.now(), iow::TimePoint{} + std::chrono::milliseconds{60});
  EXPECT_EQ(clock.real_deadline(iow::TimePoint{} + std::chrono::milliseconds{1060}), real.now() + std::chrono::milliseconds{1});
}

}  // namespace

#include "platform/windows/clock/windows_clock.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace platform::windows {
namespace {

using namespace std::chrono_literals;

TEST(WindowsClock, SleepUntilNeverReturnsEarly) {
  WindowsClock clock;
  for (const auto wait : {0us, 50us, 500us, 1000us, 2500us, 16000us, 20000us}) {
    const iow::TimePoint deadline = clock.now() + wait;
    clock.sleep_until(deadline);
    EXPECT_GE(clock.now(), deadline) << wait.count() << " us";
  }
  // A deadline in the past returns at once.
  const iow::TimePoint before = clock.now();
  clock.sleep_until(before - 1s);
  EXPECT_LT(clock.now() - before, 1s);
}

TEST(WindowsClock, NowIsMonotonic) {
  WindowsClock clock;
  iow::TimePoint last = clock.now();
  for (int i = 0; i < 10000; ++i) {
    const iow::TimePoint next = clock.now();
    ASSERT_GE(next, last);
    last = next;
  }
}

TEST(WindowsClock, TimeOfDayIsTheLocalTimeWithFractions) {
  WindowsClock clock;
  SYSTEMTIME local{};
  GetLocalTime(&local);
  const double seconds = clock.time_of_day();
  const double expected = local.wHour * 3600.0 + local.wMinute * 60.0 + local.wSecond + local.wMilliseconds / 1000.0;
  ASSERT_GE(seconds, 0.0);
  ASSERT_LT(seconds, 86400.0);
  // Allow for midnight passing between the two readings.
  const double difference = std::fmod(std::fabs(seconds - expected), 86400.0);
  EXPECT_LT(std::min(difference, 86400.0 - difference), 1.0);

  // Fractions: two readings a few milliseconds apart differ by less than a second.
  const double first = clock.time_of_day();
  clock.sleep_until(clock.now() + 3ms);
  const double second = clock.time_of_day();
  if (second > first) {
    EXPECT_GE(second - first, 0.002);
  }
}

TEST(PreciseTimer, SignalsNoEarlierThanArmed) {
  PreciseTimer timer;
  ASSERT_NE(timer.handle(), nullptr);
  WindowsClock clock;
  const iow::TimePoint start = clock.now();
  ASSERT_TRUE(timer.arm(5ms));
  ASSERT_EQ(WaitForSingleObject(timer.handle(), 5000), WAIT_OBJECT_0);
  EXPECT_GE(clock.now() - start, 5ms);
}

}  // namespace
}  // namespace platform::windows

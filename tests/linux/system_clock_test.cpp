// The wall clock's time of day after January 2038, where a 32-bit time_t has run out:
// the 32-bit build must still pause to the right second.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/system_clock.hpp"

namespace {

using namespace std::chrono;

// Sets the process's time zone for one test and puts the old one back.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) {
      old_ = old;
      had_ = true;
    }
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (had_) {
      setenv("TZ", old_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  TimeZone(const TimeZone&) = delete;
  TimeZone& operator=(const TimeZone&) = delete;

 private:
  std::string old_;
  bool had_ = false;
};

TEST(SystemClock, TimeOfDayIn2040IsRight) {
  // 1 March 2040, 12:34:56.25 UTC: beyond 2^31 seconds since 1970.
  const auto wall = sys_days{year{2040} / March / 1} + hours{12} + minutes{34} + seconds{56} + milliseconds{250};
  ASSERT_GT(duration_cast<seconds>(wall.time_since_epoch()).count(), 2147483647LL);
  {
    TimeZone utc("UTC0");
    EXPECT_DOUBLE_EQ(platform::LocalTimeOfDay(wall), 12 * 3600 + 34 * 60 + 56.25);
  }
  {
    // Two hours east of Greenwich, and a day that ends a quarter second after midnight.
    TimeZone east("<+02>-2");
    EXPECT_DOUBLE_EQ(platform::LocalTimeOfDay(wall), 14 * 3600 + 34 * 60 + 56.25);
    EXPECT_DOUBLE_EQ(platform::LocalTimeOfDay(sys_days{year{2040} / March / 1} - hours{2} + milliseconds{250}), 0.25);
  }
}

}  // namespace

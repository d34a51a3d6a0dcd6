#include "platform/fan_counts.hpp"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct CountRow {
  std::uint8_t high;
  std::uint8_t low;
  std::int64_t rpm;
  const char* what;
};

TEST(FanCounts, NuvotonThirteenBitCountsGiveTheDriversRpm) {
  const CountRow rows[] = {
      {0x22, 0x06, 1234, "count 1094: high byte bits 12-5, low byte bits 4-0"},
      {0x22, 0xE6, 1234, "the low byte's upper three bits are not part of the count"},
      {0x01, 0x00, 42187, "count 32 from the high byte alone"},
      {0x00, 0x01, 1350000, "the smallest count"},
      {0xFF, 0x1E, 164, "one below the top still reads"},
      {0xFF, 0x1F, 0, "every count bit set: no fan"},
      {0xFF, 0xFF, 0, "every count bit set, upper bits too: no fan"},
      {0x00, 0x00, 0, "count 0: no fan"},
      {0x00, 0xE0, 0, "count 0 beneath set upper bits: no fan"},
  };
  for (const CountRow& row : rows) {
    EXPECT_EQ(platform::NuvotonFanRpm(row.high, row.low), row.rpm) << row.what;
  }
}

TEST(FanCounts, FintekSixteenBitCountsGiveTheDriversRpm) {
  const CountRow rows[] = {
      {0x04, 0xE2, 1200, "count 1250"},
      {0x00, 0x01, 1500000, "the smallest count"},
      {0x0F, 0xF5, 367, "count 4085, just above the slowest speed"},
      {0x0F, 0xFF, 0, "count 4095 gives 366 rpm: stopped"},
      {0x10, 0x02, 0, "count 4098 gives 366 rpm too: stopped"},
      {0x10, 0x03, 365, "count 4099 is below 366 rpm and shown as it is"},
      {0xFF, 0xFF, 22, "the largest count"},
      {0x00, 0x00, 0, "count 0: no fan"},
  };
  for (const CountRow& row : rows) {
    EXPECT_EQ(platform::FintekFanRpm(row.high, row.low), row.rpm) << row.what;
  }
}

}  // namespace

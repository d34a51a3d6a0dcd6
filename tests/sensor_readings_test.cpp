#include "monitor/sensor_readings.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "display/text_entry.hpp"
#include "sim/event_log.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_ite8705.hpp"
#include "sim/sim_iowarrior.hpp"

namespace {

// The monitor's procedures on a logged chip that answers `byte` for both registers.
struct Chip {
  sim::SimClock clock{0.0};
  std::ostringstream trace;
  sim::EventLog log{clock, trace};
  sim::SimIoWarrior iowarrior{clock};
  sim::SimIte8705 chip;
  iow::OutsideLibraries lib{iowarrior, chip, clock};
  WindowState w;

  explicit Chip(std::uint8_t byte) : chip({byte}, {byte}, &log) { chip.acquire(0x295, 2); }
};

struct ReadingRow {
  void (*read)(WindowState&, iow::OutsideLibraries&);
  std::uint8_t byte;
  const char* text;
  std::int32_t reading;
};

TEST(SensorReadings, TurnRegisterBytesIntoTheSignTexts) {
  const ReadingRow rows[] = {
      {monitor::ReadTemperatureText, 45, "CPU Temperatur : 45'C", 45},
      {monitor::ReadTemperatureText, 0, "CPU Temperatur : 0'C", 0},
      {monitor::ReadTemperatureText, 255, "CPU Temperatur : 255'C", 255},
      {monitor::ReadFanSpeedText, 60, "CPU Luefterdrehzahl : 2812 rpm", 2812},
      {monitor::ReadFanSpeedText, 255, "CPU Luefterdrehzahl : 661 rpm", 661},
      {monitor::ReadFanSpeedText, 6, "CPU Luefterdrehzahl : 28125 rpm", 28125},
      // Speeds beyond 16 bits are shown as they are; a count of 0 gives no speed.
      {monitor::ReadFanSpeedText, 5, "CPU Luefterdrehzahl : 33750 rpm", 33750},
      {monitor::ReadFanSpeedText, 1, "CPU Luefterdrehzahl : 168750 rpm", 168750},
      {monitor::ReadFanSpeedText, 0, "CPU Luefterdrehzahl : --- rpm", 0},
  };
  for (const ReadingRow& row : rows) {
    Chip chip(row.byte);
    row.read(chip.w, chip.lib);
    EXPECT_EQ(chip.w.DisplayText, row.text);
    EXPECT_EQ(chip.w.Reading, row.reading) << row.text;
  }
}

TEST(SensorReadings, SelectTheRegisterThenReadTheDataPort) {
  Chip temperature(45);
  monitor::ReadTemperatureText(temperature.w, temperature.lib);
  EXPECT_EQ(temperature.trace.str(), "0.000 port-out 0x295 0x29\n0.000 port-in 0x296 0x2D\n");
  Chip fan(60);
  monitor::ReadFanSpeedText(fan.w, fan.lib);
  EXPECT_EQ(fan.trace.str(), "0.000 port-out 0x295 0x0D\n0.000 port-in 0x296 0x3C\n");
}

TEST(SensorReadings, EveryByteOfEitherRegisterGivesATextTheSignCanShow) {
  for (int byte = 0; byte <= 255; ++byte) {
    for (const auto read : {monitor::ReadTemperatureText, monitor::ReadFanSpeedText}) {
      Chip chip(static_cast<std::uint8_t>(byte));
      read(chip.w, chip.lib);
      ASSERT_FALSE(chip.w.DisplayText.empty());
      for (const char c : chip.w.DisplayText) {
        ASSERT_GE(display::RingIndexOf(static_cast<unsigned char>(c)), 0)
            << "byte " << byte << ": '" << c << "' in " << chip.w.DisplayText;
      }
    }
  }
}

TEST(NumberText, PutsASignPositionBeforeTheDigits) {
  EXPECT_EQ(monitor::NumberText(0), " 0");
  EXPECT_EQ(monitor::NumberText(2812), " 2812");
  EXPECT_EQ(monitor::NumberText(-7), "-7");
  EXPECT_EQ(monitor::NumberText(INT32_MIN), "-2147483648");
}

TEST(FanSpeed, RoundsDownAndFlagsACountOfZero) {
  EXPECT_EQ(monitor::FanSpeed(60), 2812);  // 2812.5
  EXPECT_EQ(monitor::FanSpeed(7), 24107);  // 24107.14
  EXPECT_EQ(monitor::FanSpeed(0), -1);
}

}  // namespace

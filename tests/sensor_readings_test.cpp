#include "monitor/sensor_readings.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>

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

// A later ITE chip as the platform identified it, with its fan registers set up.
struct LaterChip {
  sim::SimClock clock{0.0};
  std::ostringstream trace;
  sim::EventLog log{clock, trace};
  sim::SimIoWarrior iowarrior{clock};
  sim::SimIte8705 chip;
  iow::OutsideLibraries lib{iowarrior, chip, clock};
  WindowState w;

  LaterChip(iow::MonitorChip identity, std::uint8_t divisors, std::uint8_t sixteen_bit, std::uint16_t count)
      : chip({45}, {count}, &log) {
    chip.set_chip(identity);
    chip.set_fan_registers(divisors, sixteen_bit);
    chip.acquire(0x295, 2);
  }
  // The registers selected, in order.
  std::string selected() const {
    std::string registers;
    std::istringstream lines(trace.str());
    std::string time, event, port, value;
    while (lines >> time >> event >> port >> value) {
      if (event == "port-out") registers += (registers.empty() ? "" : " ") + value;
    }
    return registers;
  }
};

struct LaterRow {
  const char* chip;
  iow::MonitorChip identity;
  std::uint8_t divisors;     // register 0x0B
  std::uint8_t sixteen_bit;  // register 0x0C
  std::uint16_t count;
  const char* text;
  const char* registers;     // selected, in order
};

TEST(SensorReadings, ReadTheFanOfALaterChipTheWayItCounts) {
  const LaterRow rows[] = {
      {"IT8712F rev 8, 16 bit", {0x8712, 0x08}, 0x09, 0x07, 225, "CPU Luefterdrehzahl : 3000 rpm", "0x0C 0x0D 0x18"},
      {"16 bit, high byte", {0x8716, 0x01}, 0x00, 0x01, 0x0258, "CPU Luefterdrehzahl : 1125 rpm", "0x0C 0x0D 0x18"},
      {"16 bit, count 1", {0x8712, 0x08}, 0x00, 0x07, 1, "CPU Luefterdrehzahl : 675000 rpm", "0x0C 0x0D 0x18"},
      {"16 bit, count 0", {0x8712, 0x08}, 0x00, 0x07, 0, "CPU Luefterdrehzahl : --- rpm", "0x0C 0x0D 0x18"},
      {"16 bit, stopped", {0x8712, 0x08}, 0x00, 0x07, 0xFFFF, "CPU Luefterdrehzahl : --- rpm", "0x0C 0x0D 0x18"},
      {"IT8712F rev 8, 8 bit, divisor 2", {0x8712, 0x08}, 0x01, 0x06, 60, "CPU Luefterdrehzahl : 11250 rpm",
       "0x0C 0x0B 0x0D"},
      {"8 bit, divisor 128", {0x8718, 0x00}, 0x3F, 0x00, 1, "CPU Luefterdrehzahl : 10546 rpm", "0x0C 0x0B 0x0D"},
      {"8 bit, stopped", {0x8720, 0x00}, 0x01, 0x00, 255, "CPU Luefterdrehzahl : --- rpm", "0x0C 0x0B 0x0D"},
      {"8 bit, count 0", {0x8720, 0x00}, 0x01, 0x00, 0, "CPU Luefterdrehzahl : --- rpm", "0x0C 0x0B 0x0D"},
      // Before revision 0x08 the IT8712F has no 16-bit counter: register 0x0C is not its switch.
      {"IT8712F rev 7", {0x8712, 0x07}, 0x03, 0x07, 60, "CPU Luefterdrehzahl : 2812 rpm", "0x0B 0x0D"},
      // Chips that always count 16 bits have no switch to read.
      {"IT8728F", {0x8728, 0x01}, 0x00, 0x00, 225, "CPU Luefterdrehzahl : 3000 rpm", "0x0D 0x18"},
      // The IT8705F, and a chip the platform did not identify, read as always: 0x0D times 8.
      {"IT8705F", {0x8705, 0x03}, 0x01, 0x07, 60, "CPU Luefterdrehzahl : 2812 rpm", "0x0D"},
      {"not identified", {0, 0}, 0x01, 0x07, 60, "CPU Luefterdrehzahl : 2812 rpm", "0x0D"},
  };
  for (const LaterRow& row : rows) {
    LaterChip chip(row.identity, row.divisors, row.sixteen_bit, row.count);
    monitor::ReadFanSpeedText(chip.w, chip.lib);
    EXPECT_EQ(chip.w.DisplayText, row.text) << row.chip;
    EXPECT_EQ(chip.selected(), row.registers) << row.chip;
  }
}

// A kernel driver's readings in place of the ports; a port access fails the test.
class DriverReadings final : public iow::PortIo, public iow::MonitorDriver {
 public:
  std::optional<std::int64_t> millidegrees;
  std::optional<std::int64_t> rpm;

  bool acquire(std::uint16_t, std::uint16_t) override { return true; }
  void out(std::uint16_t port, std::uint8_t) override { ADD_FAILURE() << "port " << port << " written"; }
  std::uint8_t in(std::uint16_t port) override {
    ADD_FAILURE() << "port " << port << " read";
    return 0xFF;
  }
  iow::MonitorDriver* driver() override { return this; }
  std::optional<std::int64_t> temperature_millidegrees() override { return millidegrees; }
  std::optional<std::int64_t> fan_rpm() override { return rpm; }
};

TEST(SensorReadings, FromADriverTheTextsAreThoseOfTheSameRegisterByteAndNoPortIsTouched) {
  struct Row {
    std::optional<std::int64_t> value;
    const char* text;
  };
  // The driver reads register 0x29 as a signed byte times 1000; the port read takes the
  // byte unsigned.
  const Row temperatures[] = {
      {45000, "CPU Temperatur : 45'C"},   {0, "CPU Temperatur : 0'C"},
      {127000, "CPU Temperatur : 127'C"}, {-1000, "CPU Temperatur : 255'C"},
      {-128000, "CPU Temperatur : 128'C"}, {45499, "CPU Temperatur : 45'C"},
      {45500, "CPU Temperatur : 46'C"},   {-500, "CPU Temperatur : 255'C"},
      {300000, "CPU Temperatur : 300'C"}, {-200000, "CPU Temperatur :-200'C"},
      {std::nullopt, "CPU Temperatur : ---'C"},
      {INT64_MIN, "CPU Temperatur :-2147483648'C"},
  };
  const Row fans[] = {
      {3000, "CPU Luefterdrehzahl : 3000 rpm"}, {0, "CPU Luefterdrehzahl : --- rpm"},
      {-1, "CPU Luefterdrehzahl : --- rpm"},    {std::nullopt, "CPU Luefterdrehzahl : --- rpm"},
  };
  sim::SimClock clock(0.0);
  sim::SimIoWarrior iowarrior(clock);
  DriverReadings driver;
  iow::OutsideLibraries lib(iowarrior, driver, clock);
  WindowState w;
  for (const Row& row : temperatures) {
    driver.millidegrees = row.value;
    monitor::ReadTemperatureText(w, lib);
    EXPECT_EQ(w.DisplayText, row.text);
  }
  for (const Row& row : fans) {
    driver.rpm = row.value;
    monitor::ReadFanSpeedText(w, lib);
    EXPECT_EQ(w.DisplayText, row.text);
  }
  EXPECT_EQ(monitor::ReadFanMode(lib).counter, monitor::FanCounter::kDriver);
}

// Every register byte, through the driver's conversion and back, gives the port's text.
TEST(RegisterDegrees, InvertsTheDriversSignedReadingOfEveryByte) {
  for (int byte = 0; byte <= 255; ++byte) {
    const std::int64_t millidegrees = static_cast<std::int8_t>(byte) * 1000;
    EXPECT_EQ(monitor::RegisterDegrees(millidegrees), byte);
  }
}

}  // namespace

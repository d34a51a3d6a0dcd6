#include "monitor/sensor_readings.hpp"

#include <algorithm>
#include <array>
#include <limits>

namespace monitor {
namespace {

constexpr std::int32_t kFanSpeedConstant = 1'350'000;
// The IT8705F's fan 1 divisor as the chip is set up.
constexpr std::int32_t kCountMultiplier = 8;
// In 16-bit mode the divisor is fixed at 2.
constexpr std::int32_t k16BitDivisor = 2;
constexpr std::uint8_t kFan1Divisor = 0x07;    // register 0x0B: fan 1's divisor exponent
constexpr std::uint8_t kFan1SixteenBit = 0x01;  // register 0x0C: fan 1 counts 16 bits
constexpr std::uint16_t kIte8712 = 0x8712;
// The IT8712F counts in 16 bits from this revision on (before it, 8 bits only).
constexpr std::uint8_t kIte8712SixteenBitRevision = 0x08;
// Chips that always count their fans in 16 bits, without an enable bit in register 0x0C.
constexpr std::array<std::uint16_t, 12> kAlways16Bit{0x8603, 0x8620, 0x8622, 0x8623, 0x8628, 0x8728,
                                                      0x8732, 0x8733, 0x8771, 0x8772, 0x8786, 0x8790};

// Selects `reg` through the address port and reads it from the data port.
std::uint8_t ReadRegister(iow::OutsideLibraries& lib, std::uint8_t reg) {
  lib.PortOut(kAddressPort, reg);
  return lib.PortIn(kDataPort);
}

std::int32_t ToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// The speed for a count of a later chip; -1 where the count gives none (0, or all ones).
std::int32_t CountedSpeed(std::int32_t count, std::int32_t divisor, std::int32_t all_ones) {
  if (count == 0 || count == all_ones) return -1;
  return kFanSpeedConstant / (count * divisor);
}

}  // namespace

std::int32_t FanSpeed(std::uint8_t count) {
  if (count == 0) return -1;
  // Integer division of non-negative values rounds down.
  return kFanSpeedConstant / (count * kCountMultiplier);
}

std::int32_t WholeDegrees(std::int64_t millidegrees) {
  // A file may hold any number: kept far from the ends of the range the rounding works in.
  constexpr std::int64_t kLimit = 1'000'000'000'000'000;
  const std::int64_t value = std::clamp(millidegrees, -kLimit, kLimit);
  // Half away from zero; integer division truncates towards zero.
  return ToInt32(value < 0 ? (value - 500) / 1000 : (value + 500) / 1000);
}

std::int32_t RegisterDegrees(std::int64_t millidegrees) {
  const std::int32_t degrees = WholeDegrees(millidegrees);
  if (degrees >= -128 && degrees < 0) return degrees + 256;
  return degrees;
}

std::string NumberText(std::int32_t value) {
  const std::string digits = std::to_string(value < 0 ? -static_cast<std::int64_t>(value) : value);
  return (value < 0 ? "-" : " ") + digits;
}

FanMode ReadFanMode(iow::OutsideLibraries& lib) {
  if (lib.driver() != nullptr) return {FanCounter::kDriver, 0};
  const iow::MonitorChip chip = lib.chip();
  if (chip.id == 0 || chip.id == kIte8705Id) return {FanCounter::kIte8705, kCountMultiplier};
  if (std::find(kAlways16Bit.begin(), kAlways16Bit.end(), chip.id) != kAlways16Bit.end()) {
    return {FanCounter::kSixteenBit, k16BitDivisor};
  }
  const bool switchable = chip.id != kIte8712 || chip.revision >= kIte8712SixteenBitRevision;
  if (switchable && (ReadRegister(lib, kFan16BitRegister) & kFan1SixteenBit) != 0) {
    return {FanCounter::kSixteenBit, k16BitDivisor};
  }
  return {FanCounter::kEightBit, 1 << (ReadRegister(lib, kFanDivisorRegister) & kFan1Divisor)};
}

void ReadTemperatureText(WindowState& w, iow::OutsideLibraries& lib) {
  w.DisplayText = "CPU Temperatur :";
  if (iow::MonitorDriver* driver = lib.driver(); driver != nullptr) {
    const auto millidegrees = driver->temperature_millidegrees();
    if (!millidegrees) {
      w.Reading = 0;
      w.DisplayText += " ---'C";
      return;
    }
    w.Reading = driver->register_readings() ? RegisterDegrees(*millidegrees) : WholeDegrees(*millidegrees);
  } else {
    w.Reading = ReadRegister(lib, kTemperatureRegister);
  }
  w.DisplayText += NumberText(w.Reading) + "'C";
}

void ReadFanSpeedText(WindowState& w, iow::OutsideLibraries& lib) {
  w.DisplayText = "CPU Luefterdrehzahl :";
  const FanMode mode = ReadFanMode(lib);
  std::int32_t rpm = -1;
  switch (mode.counter) {
    case FanCounter::kIte8705:
      w.Reading = ReadRegister(lib, kFanCountRegister);
      rpm = FanSpeed(static_cast<std::uint8_t>(w.Reading));
      break;
    case FanCounter::kEightBit:
      w.Reading = ReadRegister(lib, kFanCountRegister);
      rpm = CountedSpeed(w.Reading, mode.divisor, 0xFF);
      break;
    case FanCounter::kSixteenBit: {
      // Low byte first, as the chip's own driver reads them.
      const std::int32_t low = ReadRegister(lib, kFanCountRegister);
      w.Reading = ReadRegister(lib, kFanCountHighRegister) << 8 | low;
      rpm = CountedSpeed(w.Reading, mode.divisor, 0xFFFF);
      break;
    }
    case FanCounter::kDriver: {
      const auto driven = lib.driver()->fan_rpm();
      w.Reading = 0;
      if (driven && *driven > 0) rpm = ToInt32(*driven);
      break;
    }
  }
  if (rpm < 0) {
    w.DisplayText += " --- rpm";
    return;
  }
  w.Reading = rpm;
  w.DisplayText += NumberText(w.Reading) + " rpm";
}

}  // namespace monitor

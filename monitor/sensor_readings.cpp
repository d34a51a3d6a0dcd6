#include "monitor/sensor_readings.hpp"

namespace monitor {
namespace {

constexpr std::int32_t kFanSpeedConstant = 1'350'000;
// Fan 1 divisor as the chip is set up.
constexpr std::int32_t kCountMultiplier = 8;

// Selects `reg` through the address port and reads it from the data port.
std::uint8_t ReadRegister(iow::OutsideLibraries& lib, std::uint8_t reg) {
  lib.PortOut(kAddressPort, reg);
  return lib.PortIn(kDataPort);
}

}  // namespace

std::int32_t FanSpeed(std::uint8_t count) {
  if (count == 0) return -1;
  // Integer division of non-negative values rounds down.
  return kFanSpeedConstant / (count * kCountMultiplier);
}

std::string NumberText(std::int32_t value) {
  const std::string digits = std::to_string(value < 0 ? -static_cast<std::int64_t>(value) : value);
  return (value < 0 ? "-" : " ") + digits;
}

void ReadTemperatureText(WindowState& w, iow::OutsideLibraries& lib) {
  w.DisplayText = "CPU Temperatur :";
  w.Reading = ReadRegister(lib, kTemperatureRegister);
  w.DisplayText += NumberText(w.Reading) + "'C";
}

void ReadFanSpeedText(WindowState& w, iow::OutsideLibraries& lib) {
  w.DisplayText = "CPU Luefterdrehzahl :";
  w.Reading = ReadRegister(lib, kFanCountRegister);
  const std::int32_t rpm = FanSpeed(static_cast<std::uint8_t>(w.Reading));
  if (rpm < 0) {
    w.DisplayText += " --- rpm";
    return;
  }
  w.Reading = rpm;
  w.DisplayText += NumberText(w.Reading) + " rpm";
}

}  // namespace monitor

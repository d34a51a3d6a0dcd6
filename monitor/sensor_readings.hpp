#pragma once
// The ITE 8705 hardware monitor: register reads over its address and data ports,
// and the two reading texts the sign shows.

#include <cstdint>
#include <string>

#include "platform/iow.hpp"
#include "platform/window_state.hpp"

namespace monitor {

// Environment controller address port (base 0x290 + 5): takes the register number.
inline constexpr std::uint16_t kAddressPort = 0x295;
// Environment controller data port (base 0x290 + 6): returns the selected register.
inline constexpr std::uint16_t kDataPort = 0x296;
// The two ports from kAddressPort on.
inline constexpr std::uint16_t kPortCount = 2;
// Temperature input 1, whole degrees Celsius.
inline constexpr std::uint8_t kTemperatureRegister = 0x29;
// Fan 1 tachometer count; a larger count means a slower fan.
inline constexpr std::uint8_t kFanCountRegister = 0x0D;

// Fan speed in rpm for a tachometer count: floor(1,350,000 / (count * 8));
// -1 for a count of 0, from which no speed can be computed.
std::int32_t FanSpeed(std::uint8_t count);

// A sign position (space, or "-" for negative values) followed by the decimal digits.
std::string NumberText(std::int32_t value);

// DisplayText becomes "CPU Temperatur : <degrees>'C"; Reading the register byte.
void ReadTemperatureText(WindowState& w, iow::OutsideLibraries& lib);

// DisplayText becomes "CPU Luefterdrehzahl : <rpm> rpm", or "... : --- rpm" for a
// count of 0; Reading the speed in rpm (the count, when it is 0).
void ReadFanSpeedText(WindowState& w, iow::OutsideLibraries& lib);

}  // namespace monitor

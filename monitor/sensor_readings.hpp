#pragma once
// The ITE 8705 hardware monitor and the later ITE chips: register reads over the
// environment controller's address and data ports (or a kernel driver's readings where
// one serves the chip), and the two reading texts the sign shows.

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
// Fan 1 tachometer count (in 16-bit mode its low byte); a larger count means a slower fan.
inline constexpr std::uint8_t kFanCountRegister = 0x0D;
// Fan divisors (IT8705F, IT8712F and later in 8-bit mode): bits 2-0 hold fan 1's as a
// power of two.
inline constexpr std::uint8_t kFanDivisorRegister = 0x0B;
// 16-bit counter enable (IT8712F from revision 0x08, IT8716F and later): bit 0 for fan 1.
inline constexpr std::uint8_t kFan16BitRegister = 0x0C;
// Fan 1 tachometer count, high byte, in 16-bit mode.
inline constexpr std::uint8_t kFanCountHighRegister = 0x18;

// The IT8705F's chip ID; its fan is read as it has always been.
inline constexpr std::uint16_t kIte8705Id = 0x8705;

// How fan 1's speed is read.
enum class FanCounter {
  kIte8705,    // register 0x0D times 8: the IT8705F, and a chip the platform did not identify
  kEightBit,   // register 0x0D with the divisor register 0x0B names
  kSixteenBit, // registers 0x0D (low byte) and 0x18 (high byte), divisor 2
  kDriver,     // the kernel driver's rpm
};

struct FanMode {
  FanCounter counter = FanCounter::kIte8705;
  std::int32_t divisor = 8;  // the count's multiplier; 0 with a driver
};

// Fan speed in rpm for an IT8705F tachometer count: floor(1,350,000 / (count * 8));
// -1 for a count of 0, from which no speed can be computed.
std::int32_t FanSpeed(std::uint8_t count);

// Whole degrees Celsius for a temperature in millidegrees, rounded half away from zero
// (45500 is 46, -45500 is -46); beyond the 32-bit range, its nearest end.
std::int32_t WholeDegrees(std::int64_t millidegrees);

// The degrees the port read of register 0x29 gives (the byte, 0 to 255) for the driver's
// temperature in millidegrees: the driver reads the byte as signed (255 is -1000), so a
// value of -128 to -1 degrees is the byte 128 to 255. Rounded to whole degrees half away
// from zero, as the driver turns degrees into a register value. A value outside -128 to
// 255 degrees comes from no register byte and is kept as it is.
std::int32_t RegisterDegrees(std::int64_t millidegrees);

// A sign position (space, or "-" for negative values) followed by the decimal digits.
std::string NumberText(std::int32_t value);

// How fan 1 is read on the chip behind `lib`'s ports now. Reads register 0x0C, and in
// 8-bit mode 0x0B, on a later chip whose counter can be switched; nothing on the IT8705F,
// a chip not identified, a chip that always counts 16 bits, or where a driver serves it.
FanMode ReadFanMode(iow::OutsideLibraries& lib);

// DisplayText becomes "CPU Temperatur : <degrees>'C"; Reading the register byte (from the
// it87 driver: the byte that reading stands for, see RegisterDegrees; from another
// driver: its whole degrees, "-" before a negative value). "---" for the degrees when a
// driver's reading cannot be had.
void ReadTemperatureText(WindowState& w, iow::OutsideLibraries& lib);

// DisplayText becomes "CPU Luefterdrehzahl : <rpm> rpm", or "... : --- rpm" for a count
// that gives no speed (0; on the later chips also all ones) or a driver's 0; Reading the
// speed in rpm (the count, when it gives none). The IT8705F (and a chip not identified):
// register 0x0D, the count times 8. The later chips: as ReadFanMode finds them.
void ReadFanSpeedText(WindowState& w, iow::OutsideLibraries& lib);

}  // namespace monitor

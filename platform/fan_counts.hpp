#pragma once
// Fan counts of the Super-I/O hardware monitors as rpm. A chip counts the ticks of its
// own clock during one fan revolution; the slower the fan, the higher the count. The
// conversions and what counts as no fan are those of the Linux drivers: nct6775
// (fan_from_reg13) and f71882fg (fan_from_reg, show_fan).

#include <cstdint>

namespace platform {

// Rpm from a Nuvoton NCT6779D or later chip's 13-bit count: `high` holds bits 12-5, the
// low five bits of `low` bits 4-0 (its upper three bits are not part of the count).
// 0 for no fan: a count of 0, or every count bit set (the counter ran out of range).
std::int64_t NuvotonFanRpm(std::uint8_t high, std::uint8_t low);

// Rpm from a Fintek chip's 16-bit count (high byte, low byte). 0 for a stopped fan: a
// count of 0, or one that gives the chip's lowest detectable speed, 366 rpm.
std::int64_t FintekFanRpm(std::uint8_t high, std::uint8_t low);

}  // namespace platform

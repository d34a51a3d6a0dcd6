#include "platform/fan_counts.hpp"

namespace platform {
namespace {

// Rpm times count: 1 350 000 for the Nuvoton chips, 1 500 000 for the Fintek chips.
constexpr std::int64_t kNuvotonRpmCount = 1350000;
constexpr std::int64_t kFintekRpmCount = 1500000;
// The five count bits of the Nuvoton low byte.
constexpr unsigned kNuvotonLowBits = 0x1F;
constexpr unsigned kNuvotonHighShift = 5;
// The lowest speed a Fintek chip detects: a count that gives it is a fan standing still.
constexpr std::int64_t kFintekSlowest = 366;

}  // namespace

std::int64_t NuvotonFanRpm(std::uint8_t high, std::uint8_t low) {
  const unsigned count = unsigned{high} << kNuvotonHighShift | (low & kNuvotonLowBits);
  constexpr unsigned kOutOfRange = 0xFFu << kNuvotonHighShift | kNuvotonLowBits;
  if (count == 0 || count == kOutOfRange) return 0;
  return kNuvotonRpmCount / count;
}

std::int64_t FintekFanRpm(std::uint8_t high, std::uint8_t low) {
  const unsigned count = unsigned{high} << 8 | low;
  if (count == 0) return 0;
  const std::int64_t rpm = kFintekRpmCount / count;
  return rpm == kFintekSlowest ? 0 : rpm;
}

}  // namespace platform

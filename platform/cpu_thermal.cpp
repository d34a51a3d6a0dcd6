#include "platform/cpu_thermal.hpp"

#include <algorithm>
#include <array>

namespace platform {
namespace {

constexpr std::int64_t kDegree = 1000;

// The digital readout of IA32_THERM_STATUS and IA32_PACKAGE_THERM_STATUS: degrees below TjMax.
std::int64_t Readout(std::uint64_t status) { return static_cast<std::int64_t>((status >> 16) & 0x7F); }

// Bits 31:21 of AMD's reported temperature, in millidegrees (eighths of a degree).
std::int64_t CurTmp(std::uint32_t value) { return static_cast<std::int64_t>(value >> 21) * 125; }

}  // namespace

std::optional<std::int64_t> IntelTjMax(std::uint64_t temperature_target) {
  const auto tjmax = static_cast<std::int64_t>((temperature_target >> 16) & 0xFF);
  if (tjmax == 0) return std::nullopt;
  return tjmax * kDegree;
}

std::int64_t IntelTjMaxEstimate(unsigned model, unsigned stepping) {
  struct Model {
    unsigned model;
    std::optional<unsigned> stepping;
    std::int64_t tjmax;
  };
  // coretemp's tjmax_model_table, first match wins.
  constexpr std::array<Model, 6> kAtoms{{
      {0x1C, 10, 100},           // Atom D4xx, K4xx, N4xx, D5xx, K5xx, N5xx
      {0x1C, std::nullopt, 90},  // Atom Z5xx, N2xx
      {0x26, std::nullopt, 90},  // Atom Tunnel Creek, Lincroft
      {0x27, std::nullopt, 90},  // Atom Medfield
      {0x35, std::nullopt, 90},  // Atom Clover Trail
      {0x36, std::nullopt, 100}, // Atom Cedar Trail
  }};
  for (const Model& entry : kAtoms) {
    if (entry.model == model && (!entry.stepping || *entry.stepping == stepping)) return entry.tjmax * kDegree;
  }
  return 100 * kDegree;
}

std::optional<std::int64_t> IntelCoreTemperature(std::int64_t tjmax, std::uint64_t therm_status) {
  constexpr std::uint64_t kReadingValid = std::uint64_t{1} << 31;
  if ((therm_status & kReadingValid) == 0) return std::nullopt;
  return tjmax - Readout(therm_status) * kDegree;
}

std::int64_t IntelPackageTemperature(std::int64_t tjmax, std::uint64_t package_therm_status) {
  return tjmax - Readout(package_therm_status) * kDegree;
}

std::int64_t AmdZenTctl(std::uint32_t value) {
  constexpr std::uint32_t kRangeSelect = 1u << 19;
  constexpr std::uint32_t kTjSelect = 3u << 16;
  std::int64_t temperature = CurTmp(value);
  if ((value & kRangeSelect) != 0 || (value & kTjSelect) == kTjSelect) temperature -= 49 * kDegree;
  return std::max<std::int64_t>(temperature, 0);
}

std::int64_t AmdTctlOffset(unsigned family, std::string_view brand) {
  struct Offset {
    std::string_view brand;
    std::int64_t degrees;
  };
  constexpr std::array<Offset, 6> kOffsets{{
      {"AMD Ryzen 5 1600X", 20},
      {"AMD Ryzen 7 1700X", 20},
      {"AMD Ryzen 7 1800X", 20},
      {"AMD Ryzen 7 2700X", 10},
      {"AMD Ryzen Threadripper 19", 27},  // 19{00,20,50}X
      {"AMD Ryzen Threadripper 29", 27},  // 29{20,50,70,90}[W]X
  }};
  if (family != 0x17) return 0;
  for (const Offset& entry : kOffsets) {
    if (brand.find(entry.brand) != std::string_view::npos) return entry.degrees * kDegree;
  }
  return 0;
}

std::int64_t AmdK10Temperature(std::uint32_t value) { return CurTmp(value); }

bool AmdK10ThroughSmu(unsigned family, unsigned model) {
  return family == 0x15 && ((model & 0xF0) == 0x60 || (model & 0xF0) == 0x70);
}

std::int64_t AmdK8Temperature(std::uint32_t thermtrip, bool revision_g_desktop) {
  const auto reading = static_cast<std::int64_t>((thermtrip >> 16) & 0xFF);
  return (reading - 49 + (revision_g_desktop ? 21 : 0)) * kDegree;
}

bool AmdK8RevisionGDesktop(unsigned model, std::uint32_t extended_ebx) {
  if (model < 0x69) return false;
  if (model == 0xC1 || model == 0x6C || model == 0x7C) return false;
  const std::uint32_t brand_index = (extended_ebx >> 9) & 0x1F;
  // The mobile (ASB1) parts, single core and dual core.
  if ((model == 0x6F || model == 0x7F) && (brand_index == 0x7 || brand_index == 0x9 || brand_index == 0xC)) {
    return false;
  }
  if (model == 0x6B && (brand_index == 0xB || brand_index == 0xC)) return false;
  return true;
}

}  // namespace platform

#pragma once
// What the CPUs' own temperature registers mean, as the kernel's coretemp, k10temp and
// k8temp drivers read them, for a platform that reads the registers itself (Windows,
// through PawnIO's CPU modules). Pure: every value in millidegrees Celsius, as the
// hwmon inputs carry it.

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// Intel (Software Developer's Manual vol. 4; coretemp): the model-specific registers.
inline constexpr std::uint32_t kIntelThermStatus = 0x19C;         // IA32_THERM_STATUS, one per core
inline constexpr std::uint32_t kIntelTemperatureTarget = 0x1A2;   // MSR_TEMPERATURE_TARGET
inline constexpr std::uint32_t kIntelPackageThermStatus = 0x1B1;  // IA32_PACKAGE_THERM_STATUS

// TjMax from MSR_TEMPERATURE_TARGET (bits 23:16); nullopt where the field reads 0.
std::optional<std::int64_t> IntelTjMax(std::uint64_t temperature_target);
// TjMax where MSR_TEMPERATURE_TARGET cannot be read (Core 2, the early Atoms): coretemp's
// table of Atom models (model, and stepping where it matters), else its 100 degrees.
std::int64_t IntelTjMaxEstimate(unsigned model, unsigned stepping);
// A core's temperature from IA32_THERM_STATUS: TjMax less the digital readout (bits
// 22:16); nullopt unless bit 31 says the reading is valid.
std::optional<std::int64_t> IntelCoreTemperature(std::int64_t tjmax, std::uint64_t therm_status);
// The package's temperature from IA32_PACKAGE_THERM_STATUS: TjMax less its readout (bits
// 22:16). The package register has no valid bit.
std::int64_t IntelPackageTemperature(std::int64_t tjmax, std::uint64_t package_therm_status);

// AMD families 17h to 1Ah (k10temp; the PPRs' THM_TCON_CUR_TMP): the reported
// temperature at SMN 0x59800.
inline constexpr std::uint32_t kAmdZenTemperatureSmn = 0x59800;
// Tctl: bits 31:21 in eighths of a degree, less 49 degrees where the range select (bit
// 19) is set or bits 17:16 both are; never below 0, as k10temp shows it.
std::int64_t AmdZenTctl(std::uint32_t value);
// How far Tctl lies above the die's temperature on the processors k10temp names by their
// brand string (Ryzen 1600X/1700X/1800X 20, 2700X 10, Threadripper 19x0X/29x0X 27
// degrees); 0 elsewhere.
std::int64_t AmdTctlOffset(unsigned family, std::string_view brand);

// AMD families 10h to 16h (k10temp; the BKDGs' D18F3xA4 Reported Temperature Control):
// bits 31:21 in eighths of a degree. Families 15h models 60h-7Fh have it at
// D0F0xBC_xD820_0CA4 instead, the same layout.
inline constexpr std::uint32_t kAmdK10TemperatureRegister = 0xA4;
inline constexpr std::uint32_t kAmdF15M60TemperatureSmu = 0xD8200CA4;
std::int64_t AmdK10Temperature(std::uint32_t value);
// Whether a family 15h model reads its temperature through the SMU index (models 60h-7Fh).
bool AmdK10ThroughSmu(unsigned family, unsigned model);

// AMD family 0Fh (k8temp; the BKDG's Thermtrip Status Register, D18F3xE4): bits 23:16
// less 49 degrees, 21 more on the revision G desktop processors.
std::int64_t AmdK8Temperature(std::uint32_t thermtrip, bool revision_g_desktop);
// Whether a family 0Fh processor is a revision G desktop part, which k8temp tells by the
// model and the brand index in CPUID 8000_0001h EBX bits 13:9 (AMD's revision guide 33610).
bool AmdK8RevisionGDesktop(unsigned model, std::uint32_t extended_ebx);

}  // namespace platform

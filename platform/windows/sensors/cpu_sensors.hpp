#pragma once
// The CPU's own temperature sensors through PawnIO's signed CPU modules: the module that
// fits the CPU, chosen from CPUID in user mode and loaded on a handle of its own
// (IntelMSR: the thermal MSRs; AMDFamily17: SMN 0x59800; AMDFamily10: the miscellaneous-
// control function's register 0xA4, or the SMU's copy on family 15h models 60h-7Fh;
// AMDFamily0F: the thermtrip register). The registers are decoded by platform/cpu_thermal.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/hwmon_devices.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/pawnio_port_io.hpp"
#include "platform/windows/sensors/processor.hpp"

namespace platform::windows {

// The CPU as CPUID tells it.
struct CpuIdentity {
  std::string vendor;  // "GenuineIntel", "AuthenticAMD", ...
  unsigned family = 0;  // with the extended family
  unsigned model = 0;   // with the extended model
  unsigned stepping = 0;
  std::string brand;    // the processor name string; empty where the CPU has none
  bool digital_sensor = false;  // CPUID 06h EAX bit 0 (Intel)
  bool package_sensor = false;  // CPUID 06h EAX bit 6 (Intel)
  std::uint32_t extended_ebx = 0;  // CPUID 8000_0001h EBX (AMD's brand index)
};

CpuIdentity IdentifyCpu(Processor& processor);

// N of an input named `prefix` and then N ("core3", "fan2"); nullopt for any other name.
std::optional<unsigned> InputNumber(std::string_view name, std::string_view prefix);

// The module file that reads `cpu`'s temperature; empty where PawnIO has none for it.
std::wstring CpuModuleFor(const CpuIdentity& cpu);

// The name every monitoring tool on Windows holds around PCI configuration accesses.
inline constexpr wchar_t kPciMutexName[] = L"Global\\Access_PCI";

class CpuSensors {
 public:
  using DeviceFactory = std::function<std::unique_ptr<PawnIoDevice>()>;

  // `open_device` opens a PawnIO handle of its own for the module, found in `directory`;
  // `pci` is held around the module's PCI configuration accesses.
  CpuSensors(Processor& processor, DeviceFactory open_device, std::filesystem::path directory, IsaBus& pci);

  // Identifies the CPU and loads its module; false with failure() saying why (German).
  bool open();
  // Every temperature the module gives, read now: labels "package" and "coreN" (Intel,
  // N the logical processor), "Tctl" and, where k10temp names an offset, "Tdie" (AMD
  // families 10h-1Ah), "core0"/"core1" (family 0Fh); values in millidegrees; path "cpu:LABEL".
  std::vector<HwmonInput> read_all();
  // The temperature of input `label` (as read_all names it), read now; nullopt when it
  // cannot be read.
  std::optional<std::int64_t> read(std::string_view label);

  const CpuIdentity& cpu() const { return cpu_; }
  // The module's file name ("IntelMSR.bin"), once open has chosen it.
  std::string module() const;
  // Whether TjMax is the table's estimate (MSR_TEMPERATURE_TARGET could not be read).
  bool estimated() const { return estimated_; }
  const std::string& failure() const { return failure_; }

 private:
  // Calls the module's `function`; nullopt on failure.
  std::optional<std::uint64_t> call(const PawnIoFunction& function, std::initializer_list<std::uint64_t> arguments);
  std::optional<std::uint64_t> read_msr(std::uint32_t msr);
  // TjMax, from MSR_TEMPERATURE_TARGET or else the estimate; read once.
  std::int64_t tjmax();
  std::optional<std::int64_t> intel(std::string_view label);
  std::optional<std::int64_t> amd(std::string_view label);
  std::vector<std::string> labels();

  Processor& processor_;
  DeviceFactory open_device_;
  std::filesystem::path directory_;
  IsaBus& pci_;
  CpuIdentity cpu_;
  std::wstring module_;
  std::unique_ptr<PawnIoDevice> device_;
  std::optional<std::int64_t> tjmax_;  // read once: it does not change
  bool estimated_ = false;
  std::string failure_;
};

}  // namespace platform::windows

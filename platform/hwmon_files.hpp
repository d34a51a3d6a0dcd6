#pragma once
// The kernel's hardware monitors as /sys/class/hwmon shows them (or a folder laid out
// alike, for the simulator): one folder hwmonN per device, with its name file, its
// device link, and its tempN_input and fanN_input files (and their labels).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/hwmon_devices.hpp"
#include "platform/iow.hpp"

namespace platform {

// The hwmon devices in `hwmon_class` (a folder laid out as /sys/class/hwmon), by
// ascending N of hwmonN. Where a device keeps its files in its device folder (older
// kernels), they are read there. A folder without a name is left out, and so is an
// input whose value cannot be read or is not a whole number (or is a negative fan
// speed); a label that cannot be read is empty. Reads only; empty when the folder is
// missing.
std::vector<HwmonDevice> ReadHwmonDevices(const std::filesystem::path& hwmon_class);

// The inputs of the kernel's other monitors the readings come from: a temperature in
// millidegrees (the CPU's own sensor, say) and a fan in rpm, read at every reading.
class KernelMonitorFiles final : public iow::MonitorDriver {
 public:
  KernelMonitorFiles(HwmonSource temperature, std::optional<HwmonSource> fan)
      : temperature_(std::move(temperature)), fan_(std::move(fan)) {}
  std::optional<std::int64_t> temperature_millidegrees() override;
  // nullopt where no fan was found.
  std::optional<std::int64_t> fan_rpm() override;
  bool register_readings() const override { return false; }
  // In German: where each reading comes from.
  std::string description() const;

 private:
  HwmonSource temperature_;
  std::optional<HwmonSource> fan_;
};

}  // namespace platform

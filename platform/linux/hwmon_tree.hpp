#pragma once
// The kernel's hardware monitors as /sys/class/hwmon shows them: one folder hwmonN per
// device, with its name file, its device link, and its tempN_input and fanN_input files
// (and their labels).

#include <filesystem>
#include <vector>

#include "platform/hwmon_devices.hpp"

namespace platform::lnx {

// The hwmon devices in `hwmon_class` (a folder laid out as /sys/class/hwmon), by
// ascending N of hwmonN. Where a device keeps its files in its device folder (older
// kernels), they are read there. A folder without a name is left out, and so is an
// input whose value cannot be read or is not a whole number (or is a negative fan
// speed); a label that cannot be read is empty. Reads only; empty when the folder is
// missing.
std::vector<HwmonDevice> ReadHwmonDevices(const std::filesystem::path& hwmon_class);

}  // namespace platform::lnx

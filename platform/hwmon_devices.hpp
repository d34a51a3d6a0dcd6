#pragma once
// The hardware monitors the kernel offers (its hwmon devices), as plain data: each
// device's driver name, its platform device, and its temperature and fan inputs. The
// platform reads them (on Linux from /sys/class/hwmon); monitor/sensor_choice picks the
// readings among them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One tempN_input or fanN_input of a hwmon device.
struct HwmonInput {
  int index = 0;           // N
  std::string label;       // tempN_label or fanN_label; empty without one
  std::int64_t value = 0;  // millidegrees Celsius for a temperature, rpm for a fan
  std::string path;        // the input's file, read again for every reading
};

// One hwmon device as the kernel offers it.
struct HwmonDevice {
  std::string folder;           // its folder under the hwmon class ("hwmon3")
  std::string name;             // its name file: the driver's chip name ("coretemp", "nct6798")
  std::string platform_device;  // the name its device link leads to ("nct6775.656"); empty without one
  std::vector<HwmonInput> temperatures;  // by ascending N
  std::vector<HwmonInput> fans;          // by ascending N
};

// Whether an input's path is a file of the kernel's hwmon class (Linux), not the name a
// platform gives an input it reads itself ("cpu:package" on Windows).
inline bool IsHwmonFile(std::string_view path) { return path.find('/') != std::string_view::npos; }

// An input a reading is taken from, and what the set-up report says of it.
struct HwmonSource {
  std::string path;         // tempN_input (millidegrees Celsius) or fanN_input (rpm)
  std::string description;  // in German: which device and input, and why it was taken
};

}  // namespace platform

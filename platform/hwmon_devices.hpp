#pragma once
// The hardware monitors the kernel offers (its hwmon devices), as plain data: each
// device's driver name, its platform device, and its temperature and fan inputs. The
// platform reads them (on Linux from /sys/class/hwmon); monitor/sensor_choice picks the
// readings among them.

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// One tempN_input or fanN_input of a hwmon device.
struct HwmonInput {
  int index = 0;           // N
  std::string label;       // tempN_label or fanN_label; empty without one
  std::int64_t value = 0;  // millidegrees Celsius for a temperature, rpm for a fan
};

// One hwmon device as the kernel offers it.
struct HwmonDevice {
  std::string folder;           // its folder under the hwmon class ("hwmon3")
  std::string name;             // its name file: the driver's chip name ("coretemp", "nct6798")
  std::string platform_device;  // the name its device link leads to ("nct6775.656"); empty without one
  std::vector<HwmonInput> temperatures;  // by ascending N
  std::vector<HwmonInput> fans;          // by ascending N
};

}  // namespace platform

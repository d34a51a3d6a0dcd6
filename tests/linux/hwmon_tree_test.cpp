// The hwmon tree as the kernel lays it out, read from folders the tests make.

#include "platform/hwmon_files.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "monitor/sensor_choice.hpp"

namespace platform::lnx {
namespace {

namespace fs = std::filesystem;

class HwmonTree : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("lumatext-hwmon-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "class/hwmon");
  }
  void TearDown() override { fs::remove_all(root_); }

  // Writes `text` as the file `relative` under class/hwmon.
  void write(const std::string& relative, const std::string& text) {
    const fs::path path = root_ / "class/hwmon" / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text << "\n";
  }
  // hwmonN/device, leading to the platform device `name`, as sysfs links it.
  void link(const std::string& hwmon, const std::string& name) {
    fs::create_directories(root_ / "devices/platform" / name);
    fs::create_directory_symlink(root_ / "devices/platform" / name, root_ / "class/hwmon" / hwmon / "device");
  }
  std::vector<HwmonDevice> read() { return ReadHwmonDevices(root_ / "class/hwmon"); }

  fs::path root_;
};

// "folder name device: temp1 "label" value, ...; fan1 value, ..."
std::string Described(const HwmonDevice& device) {
  std::string text = device.folder + " " + device.name + " " + device.platform_device + ":";
  for (const auto* inputs : {&device.temperatures, &device.fans}) {
    for (const HwmonInput& input : *inputs) {
      text += inputs == &device.fans ? " fan" : " temp";
      text += std::to_string(input.index) + " \"" + input.label + "\" " + std::to_string(input.value);
    }
  }
  return text;
}

std::string Chosen(const std::optional<monitor::ChosenSensor>& sensor) {
  return sensor ? sensor->driver + " " + sensor->input() + " " + std::to_string(sensor->reading) : "none";
}

TEST_F(HwmonTree, TheRuleOnDesktopTreesGivesThePackageOrTctlAndTheSuperIoCpuHeader) {
  write("hwmon1/name", "coretemp");
  write("hwmon1/temp1_input", "52000");
  write("hwmon1/temp1_label", "Package id 0");
  write("hwmon1/temp2_input", "55000");
  write("hwmon1/temp2_label", "Core 0");
  link("hwmon1", "coretemp.0");
  write("hwmon2/name", "nct6798");
  write("hwmon2/fan1_input", "800");
  write("hwmon2/fan2_input", "1234");
  link("hwmon2", "nct6775.656");
  std::vector<HwmonDevice> devices = read();
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[1].platform_device, "nct6775.656");
  monitor::SensorChoice choice = monitor::ChooseSensors(devices);
  EXPECT_EQ(Chosen(choice.temperature), "coretemp temp1 52");
  EXPECT_EQ(Chosen(choice.fan), "nct6798 fan2 1234");

  fs::remove_all(root_ / "class/hwmon");
  write("hwmon0/name", "k10temp");
  write("hwmon0/temp1_input", "61750");
  write("hwmon0/temp1_label", "Tctl");
  write("hwmon3/name", "it8686");
  write("hwmon3/fan1_input", "980");
  link("hwmon3", "it87.2624");
  choice = monitor::ChooseSensors(read());
  EXPECT_EQ(Chosen(choice.temperature), "k10temp temp1 62");
  EXPECT_EQ(Chosen(choice.fan), "it8686 fan1 980");
}

TEST_F(HwmonTree, LeavesOutWhatCannotBeReadOrIsNoNumberAndKeepsTheKernelsOrder) {
  write("hwmon10/name", "nct6798");
  write("hwmon10/temp2_input", "-5000");  // below zero, a temperature still
  write("hwmon10/temp2_label", "CPUTIN  ");
  write("hwmon10/temp1_input", "30000");
  write("hwmon10/temp3_input", "abc");
  write("hwmon10/temp4_input", "12 34");
  write("hwmon10/temp5_input", "");
  fs::create_directories(root_ / "class/hwmon/hwmon10/temp6_input");  // a read fails
  write("hwmon10/temp6_label", "AUXTIN3");
  write("hwmon10/fan1_input", "-1");  // no speed
  write("hwmon10/fan2_input", "0");   // a stopped fan
  write("hwmon10/fan-3_input", "700");
  write("hwmon2/name", "coretemp");
  write("hwmon2/temp1_input", "40000");
  fs::create_directories(root_ / "class/hwmon/hwmon2/temp1_label");  // a label that cannot be read
  write("hwmon4/temp1_input", "40000");  // no name
  write("hwmonx/name", "acpitz");
  // Older kernels: the device's files in its device folder.
  write("hwmon3/device/name", "k8temp");
  write("hwmon3/device/temp1_input", "41000");

  std::vector<std::string> described;
  for (const HwmonDevice& device : read()) described.push_back(Described(device));
  EXPECT_EQ(described, (std::vector<std::string>{
                           "hwmon2 coretemp : temp1 \"\" 40000",
                           "hwmon3 k8temp : temp1 \"\" 41000",
                           "hwmon10 nct6798 : temp1 \"\" 30000 temp2 \"CPUTIN\" -5000 fan2 \"\" 0",
                       }));
  EXPECT_TRUE(ReadHwmonDevices(root_ / "missing").empty());
}

}  // namespace
}  // namespace platform::lnx

// The program on a PC without the ITE 8705: the readings from the kernel's monitors, as the
// rule picks them, on hwmon trees laid out as the kernel lays them out. No port is touched.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "sim/simulation.hpp"

namespace {

namespace fs = std::filesystem;
using platform::WindowEvent;
using sim::Seconds;

// One file of a tree: its path under the folder, and what it holds.
struct File {
  const char* path;
  const char* text;
};

struct Machine {
  const char* what;
  std::vector<File> files;
  const char* temperature;  // the sign's first text; empty where the program refuses to start
  const char* fan;
};

// Runs Messen then, after both texts, Ende on a simulated PC whose kernel offers `files`.
std::string RunOn(const Machine& machine, int& status) {
  const fs::path folder = fs::temp_directory_path() / "lumatext-kernel-sensors";
  fs::remove_all(folder);
  for (const File& file : machine.files) {
    fs::create_directories((folder / file.path).parent_path());
    std::ofstream(folder / file.path) << file.text << "\n";
  }
  fs::create_directories(folder);
  sim::Options options;
  options.speed = 0;
  options.hwmon = folder.string();
  options.actions = {{Seconds(0), WindowEvent::MessenClick}, {Seconds(300), WindowEvent::EndeClick}};
  options.max_time = 3600;
  std::ostringstream log;
  testing::internal::CaptureStderr();
  sim::Simulation simulation(options, 43200, nullptr, log, sim::EventLog::Detail::kFull);
  status = simulation.Run();
  testing::internal::GetCapturedStderr();
  fs::remove_all(folder);
  return log.str();
}

TEST(KernelSensors, EachKindOfPcShowsItsCpusTemperatureAndFanAndNoPortIsTouched) {
  const std::vector<Machine> machines = {
      {"Intel desktop, Nuvoton chip at 0x290",
       {{"hwmon0/name", "coretemp"}, {"hwmon0/temp1_label", "Package id 0"}, {"hwmon0/temp1_input", "52000"},
        {"hwmon0/temp2_label", "Core 0"}, {"hwmon0/temp2_input", "49000"},
        {"hwmon1/name", "nct6798"}, {"hwmon1/temp1_label", "SYSTIN"}, {"hwmon1/temp1_input", "31000"},
        {"hwmon1/fan1_input", "800"}, {"hwmon1/fan2_input", "1234"}},
       "CPU Temperatur : 52'C", "CPU Luefterdrehzahl : 1234 rpm"},
      {"AMD desktop, ITE chip elsewhere",
       {{"hwmon0/name", "k10temp"}, {"hwmon0/temp1_label", "Tctl"}, {"hwmon0/temp1_input", "61750"},
        {"hwmon2/name", "it8686"}, {"hwmon2/fan1_input", "980"}, {"hwmon2/fan2_input", "1500"}},
       "CPU Temperatur : 62'C", "CPU Luefterdrehzahl : 980 rpm"},
      {"laptop",
       {{"hwmon3/name", "acpitz"}, {"hwmon3/temp1_input", "40000"},
        {"hwmon5/name", "coretemp"}, {"hwmon5/temp1_label", "Package id 0"}, {"hwmon5/temp1_input", "47499"},
        {"hwmon6/name", "thinkpad"}, {"hwmon6/fan1_input", "2900"}},
       "CPU Temperatur : 47'C", "CPU Luefterdrehzahl : 2900 rpm"},
      {"a board's CPUTIN below zero, no fan",
       {{"hwmon1/name", "nct6776"}, {"hwmon1/temp2_label", "CPUTIN"}, {"hwmon1/temp2_input", "-4500"}},
       "CPU Temperatur :-5'C", "CPU Luefterdrehzahl : --- rpm"},
      {"nothing the rule takes", {{"hwmon0/name", "acpitz"}, {"hwmon0/temp1_input", "40000"}}, "", ""},
  };
  for (const Machine& machine : machines) {
    int status = -1;
    const std::string log = RunOn(machine, status);
    EXPECT_EQ(log.find(" port-"), std::string::npos) << machine.what << ": a port was touched\n" << log;
    if (*machine.temperature == '\0') {
      EXPECT_EQ(status, app::kExitStartFailed) << machine.what;
      EXPECT_NE(log.find(std::string(app::kNoTemperatureSensor)), std::string::npos) << machine.what << "\n" << log;
      EXPECT_EQ(log.find(" write "), std::string::npos) << machine.what << ": the keypad was written to";
      continue;
    }
    EXPECT_EQ(status, 0) << machine.what << "\n" << log;
    EXPECT_NE(log.find(std::string(" sign ") + machine.temperature + "\n"), std::string::npos) << machine.what << "\n" << log;
    EXPECT_NE(log.find(std::string(" sign ") + machine.fan + "\n"), std::string::npos) << machine.what << "\n" << log;
  }
}

}  // namespace

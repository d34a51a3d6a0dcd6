#include "monitor/sensor_choice.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace {

using monitor::ChosenSensor;
using monitor::HwmonDevice;
using monitor::SensorKind;

// "driver input reading: reason", or "none".
std::string Described(const std::optional<ChosenSensor>& sensor) {
  if (!sensor) return "none";
  return sensor->driver + " " + sensor->input() + " " + std::to_string(sensor->reading) + ": " + sensor->reason;
}

// An input as the table gives it: N, label, value.
struct Input {
  int index;
  std::string label;
  std::int64_t value;
};

HwmonDevice Device(std::string folder, std::string name, const std::vector<Input>& temperatures,
                   const std::vector<Input>& fans = {}) {
  HwmonDevice device{folder, std::move(name), "", {}, {}};
  const auto inputs = [&](const std::vector<Input>& from, const std::string& kind) {
    std::vector<monitor::HwmonInput> to;
    for (const Input& input : from) {
      to.push_back({input.index, input.label, input.value, folder + "/" + kind + std::to_string(input.index) + "_input"});
    }
    return to;
  };
  device.temperatures = inputs(temperatures, "temp");
  device.fans = inputs(fans, "fan");
  return device;
}

// A desktop with an Intel CPU and a Nuvoton Super-I/O chip, whose fans carry no labels.
std::vector<HwmonDevice> IntelDesktop() {
  return {Device("hwmon1", "coretemp", {{1, "Package id 0", 52000}, {2, "Core 0", 50000}, {3, "Core 1", 55000}}),
          Device("hwmon2", "nct6798", {{1, "SYSTIN", 30000}, {2, "CPUTIN", 45000}, {7, "PECI Agent 0", 50000}},
                 {{1, "", 800}, {2, "", 1234}})};
}

struct Machine {
  const char* what;
  std::vector<HwmonDevice> devices;
  const char* temperature;
  const char* fan;
};

TEST(SensorChoice, TakesTheCpusOwnSensorAndTheCpuFanOnEachKindOfMachine) {
  const Machine machines[] = {
      {"Intel desktop: the package beats a hotter core; the Super-I/O's CPU header is fan2", IntelDesktop(),
       "coretemp temp1 52: CPU-eigener Sensor (coretemp, Package id 0)",
       "nct6798 fan2 1234: CPU-L\u00fcfteranschluss des Super-I/O-Chips (nct6798, fan2 = CPUFANIN)"},
      {"Core 2 without a package sensor: the hottest core, 47.5 rounded up",
       {Device("hwmon0", "coretemp", {{2, "Core 0", 41000}, {3, "Core 1", 47500}})},
       "coretemp temp3 48: CPU-eigener Sensor (coretemp, der hei\u00dfeste: Core 1)", "none"},
      {"AMD desktop: Tctl; the ITE chip's CPU header is fan1",
       {Device("hwmon0", "k10temp", {{1, "Tctl", 61750}, {3, "Tccd1", 70000}}),
        Device("hwmon3", "it8686", {{1, "", 40000}}, {{1, "", 980}, {2, "", 1500}})},
       "k10temp temp1 62: CPU-eigener Sensor (k10temp, Tctl)",
       "it8686 fan1 980: CPU-L\u00fcfteranschluss des Super-I/O-Chips (it8686, fan1)"},
      {"Zen with an offset: Tdie before Tctl",
       {Device("hwmon1", "k10temp", {{1, "Tctl", 80000}, {2, "Tdie", 53250}})},
       "k10temp temp2 53: CPU-eigener Sensor (k10temp, Tdie)", "none"},
      {"AMD before family 17h: the one unlabelled input",
       {Device("hwmon0", "k10temp", {{1, "", 38125}})}, "k10temp temp1 38: CPU-eigener Sensor (k10temp, temp1)",
       "none"},
      {"ThinkPad: coretemp and the laptop's only fan",
       {Device("hwmon2", "thinkpad", {{1, "", 44000}}, {{1, "", 2900}}),
        Device("hwmon4", "coretemp", {{1, "Package id 0", 45000}})},
       "coretemp temp1 45: CPU-eigener Sensor (coretemp, Package id 0)",
       "thinkpad fan1 2900: einziger L\u00fcfter des Notebooks (thinkpad, fan1)"},
      {"ASUS board: PECI before CPUTIN; a fan labelled CPU Fan beats the chip's header, CPU OPT does not",
       {Device("hwmon1", "nct6798", {{2, "CPUTIN", 45000}, {7, "PECI Agent 0", 50500}}, {{2, "", 900}}),
        Device("hwmon5", "asus_wmi_sensors", {{1, "CPU Socket Temperature", 60000}},
               {{1, "Chassis Fan 1", 700}, {2, "CPU OPT", 0}, {3, "CPU Fan", 1100}})},
       "nct6798 temp7 51: vom Treiber als CPU-Temperatur benannt (nct6798, PECI Agent 0)",
       "asus_wmi_sensors fan3 1100: L\u00fcfter der CPU laut Namen (asus_wmi_sensors, CPU Fan)"},
      {"Dell laptop without coretemp: the CPU label, and a stopped Processor Fan is still a reading",
       {Device("hwmon3", "dell_smm", {{1, "cpu", 58000}, {2, "Ambient", 35000}},
               {{1, "Video Fan", 2000}, {2, "Processor Fan", 0}})},
       "dell_smm temp1 58: vom Treiber als CPU-Temperatur benannt (dell_smm, cpu)",
       "dell_smm fan2 0: L\u00fcfter der CPU laut Namen (dell_smm, Processor Fan)"},
      {"a laptop driver with two unlabelled fans, a board sensor without a CPU label",
       {Device("hwmon0", "acpitz", {{1, "", 27800}}), Device("hwmon1", "thinkpad", {}, {{1, "", 2000}, {2, "", 2100}})},
       "none", "none"},
      {"Windows, Intel with a package sensor (PawnIO's IntelMSR), Fintek's CPU header is fan1",
       {Device("IntelMSR.bin", "cpu", {{1, "package", 61000}, {2, "core0", 58000}, {3, "core1", 66000}}),
        Device("Slot 1", "f71882fg", {}, {{1, "", 1500}, {2, "", 700}})},
       "cpu temp1 61: CPU-eigener Sensor (cpu, package)",
       "f71882fg fan1 1500: CPU-L\u00fcfteranschluss des Super-I/O-Chips (f71882fg, fan1)"},
      {"Windows, Intel without one: the hottest logical processor",
       {Device("IntelMSR.bin", "cpu", {{1, "core0", 40000}, {2, "core1", 44000}})},
       "cpu temp2 44: CPU-eigener Sensor (cpu, der hei\u00dfeste: core1)", "none"},
      {"Windows, a Ryzen 1800X: Tdie before Tctl",
       {Device("AMDFamily17.bin", "cpu", {{1, "Tctl", 75000}, {2, "Tdie", 55000}})},
       "cpu temp2 55: CPU-eigener Sensor (cpu, Tdie)", "none"},
      {"nothing at all", {}, "none", "none"},
  };
  for (const Machine& machine : machines) {
    const monitor::SensorChoice choice = monitor::ChooseSensors(machine.devices);
    EXPECT_EQ(Described(choice.temperature), machine.temperature) << machine.what;
    EXPECT_EQ(Described(choice.fan), machine.fan) << machine.what;
  }
}

TEST(SensorChoice, ResolvesTheOwnersChoiceOrNamesWhatIsWrongWithIt) {
  struct Row {
    const char* choice;
    SensorKind kind;
    const char* sensor;  // or the error
  };
  const Row rows[] = {
      {"coretemp:Package id 0", SensorKind::kTemperature,
       "coretemp temp1 52: vom Besitzer gew\u00e4hlt (coretemp:Package id 0)"},
      {"coretemp:core 1", SensorKind::kTemperature, "coretemp temp3 55: vom Besitzer gew\u00e4hlt (coretemp:core 1)"},
      {"nct6798:temp7", SensorKind::kTemperature, "nct6798 temp7 50: vom Besitzer gew\u00e4hlt (nct6798:temp7)"},
      {"nct6798:fan1", SensorKind::kFan, "nct6798 fan1 800: vom Besitzer gew\u00e4hlt (nct6798:fan1)"},
      {"nct6798:fan1", SensorKind::kTemperature,
       "Sensor \"nct6798:fan1\": fan1 ist ein L\u00fcfter, keine Temperatur"},
      {"nct6775:fan2", SensorKind::kFan, "Sensor \"nct6775:fan2\": kein Treiber nct6775 (vorhanden: coretemp, nct6798)"},
      {"coretemp:Core 9", SensorKind::kTemperature,
       "Sensor \"coretemp:Core 9\": coretemp hat keine Temperatur Core 9 (vorhanden: temp1 \"Package id 0\", "
       "temp2 \"Core 0\", temp3 \"Core 1\")"},
      {"nct6798:fan9", SensorKind::kFan,
       "Sensor \"nct6798:fan9\": nct6798 hat keinen L\u00fcfter fan9 (vorhanden: fan1, fan2)"},
      {"coretemp", SensorKind::kTemperature,
       "Sensor \"coretemp\": nicht in der Form TREIBER:NAME (z. B. coretemp:Package id 0 oder nct6798:fan2)"},
  };
  const std::vector<HwmonDevice> devices = IntelDesktop();
  for (const Row& row : rows) {
    const monitor::OwnerChoice resolved = monitor::ResolveOwnerChoice(row.choice, row.kind, devices);
    EXPECT_EQ(resolved.sensor ? Described(resolved.sensor) : resolved.error, row.sensor) << row.choice;
    EXPECT_NE(resolved.sensor.has_value(), !resolved.error.empty()) << row.choice;
  }
}

}  // namespace

#include "monitor/sensor_choice.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <limits>

#include "monitor/sensor_readings.hpp"

namespace monitor {
namespace {

// A CPU's own temperature sensor: its driver's labels, taken in this order ("" stands for
// an input without a label), else the hottest input whose label starts with `hottest`.
struct OwnSensor {
  std::string_view driver;
  std::array<std::string_view, 3> labels;
  std::size_t label_count;
  std::optional<std::string_view> hottest;
};

// coretemp: the package's sensor (older kernels named it "Physical id"), else the hottest
// core. k10temp: Tdie where the CPU has it, else Tctl; before family 17h the one input
// has no label. zenpower: the same names. k8temp and via_cputemp: the hottest input.
// cpu (Windows: PawnIO's CPU modules): the package, Tdie or Tctl, else the hottest core.
const std::array<OwnSensor, 6> kOwnSensors{{
    {"coretemp", {"Package id 0", "Physical id 0"}, 2, "Core "},
    {"k10temp", {"Tdie", "Tctl", ""}, 3, std::nullopt},
    {"zenpower", {"Tdie", "Tctl"}, 2, std::nullopt},
    {"k8temp", {}, 0, ""},
    {"via_cputemp", {}, 0, ""},
    {"cpu", {"package", "Tdie", "Tctl"}, 3, "core"},
}};

// Labels a board's monitor gives the CPU's temperature, best first. PECI Agent 0 is the
// CPU's own reading through the Super-I/O chip, and on some boards CPUTIN floats.
constexpr std::array<std::string_view, 6> kCpuTemperatureLabels{
    "PECI Agent 0", "AMD SB-TSI", "CPUTIN", "CPU", "CPU Temperature", "CPU Temp"};

// A Super-I/O family whose CPU fan header is always the same fan input.
struct FanHeader {
  bool (*member)(std::string_view name);
  int fan;
  std::string_view pin;  // the chip's name for the header's input; empty where unnamed
};

bool IsNuvoton(std::string_view name) {
  constexpr std::array<std::string_view, 11> kNames{"nct6775", "nct6776", "nct6779", "nct6791",
                                                    "nct6792", "nct6793", "nct6795", "nct6796",
                                                    "nct6797", "nct6798", "nct6799"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

bool IsWinbond(std::string_view name) {
  constexpr std::array<std::string_view, 4> kNames{"w83627ehf", "w83627dhg", "w83627uhg", "w83667hg"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

// The it87 driver names its devices "it87" (the IT8705F) or after the chip ("it8686").
bool IsIte(std::string_view name) {
  if (name == "it87") return true;
  if (!name.starts_with("it8") || name.size() < 6 || name.size() > 7) return false;
  return std::all_of(name.begin() + 2, name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The f71882fg driver's chips ("f71882fg", "f71889fg", "f81865f"): fan1 is the CPU's header.
bool IsFintek(std::string_view name) { return name.starts_with("f71") || name.starts_with("f81"); }

const std::array<FanHeader, 4> kFanHeaders{{
    {IsNuvoton, 2, "CPUFANIN"},
    {IsWinbond, 2, "CPUFANIN0"},
    {IsIte, 1, ""},
    {IsFintek, 1, ""},
}};

// Laptop drivers whose only fan is the one that cools the processor.
constexpr std::array<std::string_view, 3> kLaptopDrivers{"thinkpad", "dell_smm", "asus"};

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

bool SameText(std::string_view a, std::string_view b) { return Lower(a) == Lower(b); }

std::string_view KindName(SensorKind kind) { return kind == SensorKind::kTemperature ? "temp" : "fan"; }

const std::vector<HwmonInput>& Inputs(const HwmonDevice& device, SensorKind kind) {
  return kind == SensorKind::kTemperature ? device.temperatures : device.fans;
}

std::int32_t Reading(SensorKind kind, std::int64_t value) {
  if (kind == SensorKind::kTemperature) return WholeDegrees(value);
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                                            std::numeric_limits<std::int32_t>::max()));
}

// The input's label, or "tempN" where it has none.
std::string Named(SensorKind kind, const HwmonInput& input) {
  return input.label.empty() ? std::string(KindName(kind)) + std::to_string(input.index) : input.label;
}

ChosenSensor Chosen(const HwmonDevice& device, SensorKind kind, const HwmonInput& input, std::string reason) {
  return {device.folder, device.name, kind, input.index, input.label, input.path, Reading(kind, input.value),
          std::move(reason)};
}

// The first input of `kind`, over all devices in order, for which `fits(device, input)` holds.
template <typename Fits>
std::optional<ChosenSensor> First(const std::vector<HwmonDevice>& devices, SensorKind kind, Fits fits,
                                  std::string_view why) {
  for (const HwmonDevice& device : devices) {
    for (const HwmonInput& input : Inputs(device, kind)) {
      if (fits(device, input)) {
        return Chosen(device, kind, input, std::string(why) + " (" + device.name + ", " + Named(kind, input) + ")");
      }
    }
  }
  return std::nullopt;
}

std::optional<ChosenSensor> OwnTemperature(const std::vector<HwmonDevice>& devices, const OwnSensor& own) {
  constexpr std::string_view kWhy = "CPU-eigener Sensor";
  for (std::size_t i = 0; i < own.label_count; ++i) {
    const std::string_view label = own.labels[i];
    auto fits = [&](const HwmonDevice& device, const HwmonInput& input) {
      return device.name == own.driver && input.label == label;
    };
    if (auto chosen = First(devices, SensorKind::kTemperature, fits, kWhy)) return chosen;
  }
  if (!own.hottest) return std::nullopt;
  const HwmonDevice* hottest_device = nullptr;
  const HwmonInput* hottest = nullptr;
  for (const HwmonDevice& device : devices) {
    if (device.name != own.driver) continue;
    for (const HwmonInput& input : device.temperatures) {
      if (!input.label.starts_with(*own.hottest)) continue;
      if (hottest == nullptr || input.value > hottest->value) {
        hottest_device = &device;
        hottest = &input;
      }
    }
  }
  if (hottest == nullptr) return std::nullopt;
  return Chosen(*hottest_device, SensorKind::kTemperature, *hottest,
                std::string(kWhy) + " (" + hottest_device->name + ", der hei\u00dfeste: " +
                    Named(SensorKind::kTemperature, *hottest) + ")");
}

std::optional<ChosenSensor> ChooseTemperature(const std::vector<HwmonDevice>& devices) {
  for (const OwnSensor& own : kOwnSensors) {
    if (auto chosen = OwnTemperature(devices, own)) return chosen;
  }
  for (const std::string_view label : kCpuTemperatureLabels) {
    auto fits = [&](const HwmonDevice&, const HwmonInput& input) { return SameText(input.label, label); };
    if (auto chosen = First(devices, SensorKind::kTemperature, fits, "vom Treiber als CPU-Temperatur benannt")) {
      return chosen;
    }
  }
  return std::nullopt;
}

// "CPU Fan", "Processor Fan", "cpu0"; not an optional second header ("CPU_Opt", "CPU OPT").
bool NamesTheCpuFan(std::string_view label) {
  const std::string lower = Lower(label);
  const bool cpu = lower.find("cpu") != std::string::npos || lower.find("processor") != std::string::npos;
  return cpu && lower.find("opt") == std::string::npos;
}

std::optional<ChosenSensor> ChooseFan(const std::vector<HwmonDevice>& devices) {
  auto labelled = [](const HwmonDevice&, const HwmonInput& input) { return NamesTheCpuFan(input.label); };
  if (auto chosen = First(devices, SensorKind::kFan, labelled, "L\u00fcfter der CPU laut Namen")) return chosen;
  for (const HwmonDevice& device : devices) {
    for (const FanHeader& header : kFanHeaders) {
      if (!header.member(device.name)) continue;
      for (const HwmonInput& input : device.fans) {
        if (input.index != header.fan) continue;
        std::string which = "fan" + std::to_string(input.index);
        if (!header.pin.empty()) which += " = " + std::string(header.pin);
        return Chosen(device, SensorKind::kFan, input,
                      "CPU-L\u00fcfteranschluss des Super-I/O-Chips (" + device.name + ", " + which + ")");
      }
    }
  }
  for (const HwmonDevice& device : devices) {
    const bool laptop = std::find(kLaptopDrivers.begin(), kLaptopDrivers.end(), device.name) != kLaptopDrivers.end();
    if (laptop && device.fans.size() == 1) {
      return Chosen(device, SensorKind::kFan, device.fans.front(),
                    "einziger L\u00fcfter des Notebooks (" + device.name + ", " + Named(SensorKind::kFan, device.fans.front()) + ")");
    }
  }
  return std::nullopt;
}

// N of "tempN" or "fanN" when `text` is one for `prefix`; 0 otherwise.
int InputIndex(std::string_view text, std::string_view prefix) {
  if (!text.starts_with(prefix) || text.size() == prefix.size() || text[prefix.size()] == '0') return 0;
  int index = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data() + prefix.size(), end, index);
  return error == std::errc{} && stop == end ? index : 0;
}

std::string Joined(const std::vector<std::string>& parts) {
  std::string text;
  for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
  return text.empty() ? "keine" : text;
}

}  // namespace

std::string ChosenSensor::input() const { return std::string(KindName(kind)) + std::to_string(index); }

SensorChoice ChooseSensors(const std::vector<HwmonDevice>& devices) {
  return {ChooseTemperature(devices), ChooseFan(devices)};
}

OwnerChoice ResolveOwnerChoice(std::string_view choice, SensorKind kind, const std::vector<HwmonDevice>& devices) {
  const std::string quoted = "Sensor \"" + std::string(choice) + "\": ";
  const auto colon = choice.find(':');
  if (colon == std::string_view::npos || colon == 0 || colon + 1 == choice.size()) {
    return {std::nullopt, quoted + "nicht in der Form TREIBER:NAME (z. B. coretemp:Package id 0 oder nct6798:fan2)"};
  }
  const std::string_view driver = choice.substr(0, colon);
  const std::string_view name = choice.substr(colon + 1);
  const SensorKind other = kind == SensorKind::kTemperature ? SensorKind::kFan : SensorKind::kTemperature;
  if (InputIndex(name, KindName(other)) != 0) {
    return {std::nullopt, quoted + std::string(name) +
                              (kind == SensorKind::kTemperature ? " ist ein L\u00fcfter, keine Temperatur"
                                                                : " ist eine Temperatur, kein L\u00fcfter")};
  }
  const int index = InputIndex(name, KindName(kind));
  bool driver_found = false;
  std::vector<std::string> offered;
  for (const HwmonDevice& device : devices) {
    if (device.name != driver) continue;
    driver_found = true;
    for (const HwmonInput& input : Inputs(device, kind)) {
      const bool fits = index != 0 ? input.index == index : SameText(input.label, name);
      if (fits) {
        return {Chosen(device, kind, input, "vom Besitzer gew\u00e4hlt (" + std::string(choice) + ")"), {}};
      }
      const std::string input_name = std::string(KindName(kind)) + std::to_string(input.index);
      offered.push_back(input.label.empty() ? input_name : input_name + " \"" + input.label + "\"");
    }
  }
  if (!driver_found) {
    std::vector<std::string> drivers;
    for (const HwmonDevice& device : devices) {
      if (std::find(drivers.begin(), drivers.end(), device.name) == drivers.end()) drivers.push_back(device.name);
    }
    return {std::nullopt, quoted + "kein Treiber " + std::string(driver) + " (vorhanden: " + Joined(drivers) + ")"};
  }
  return {std::nullopt, quoted + std::string(driver) + " hat " +
                            (kind == SensorKind::kTemperature ? "keine Temperatur " : "keinen L\u00fcfter ") +
                            std::string(name) + " (vorhanden: " + Joined(offered) + ")"};
}

const std::string_view kTemperatureSought =
    "gesucht: der Sensor der CPU (coretemp Package id 0 oder Core N, k10temp Tdie oder Tctl, zenpower, k8temp, "
    "via_cputemp), dann ein als CPU benannter Sensor der Hauptplatine (PECI Agent 0, AMD SB-TSI, CPUTIN, CPU)";

SensorChoice ChooseWithOwner(const std::vector<HwmonDevice>& devices, const OwnerChoices& owner, std::string& error) {
  SensorChoice choice = ChooseSensors(devices);
  const auto take = [&](const std::string& text, SensorKind kind, std::optional<ChosenSensor>& into) {
    if (text.empty() || !error.empty()) return;
    OwnerChoice chosen = ResolveOwnerChoice(text, kind, devices);
    if (chosen.sensor) {
      into = std::move(chosen.sensor);
    } else {
      error = chosen.error;
    }
  };
  take(owner.temperature, SensorKind::kTemperature, choice.temperature);
  take(owner.fan, SensorKind::kFan, choice.fan);
  return choice;
}

std::string ChooseReadingSource(iow::PortIo& ports, const OwnerChoices& owner) {
  std::string error;
  const SensorChoice choice = ChooseWithOwner(ports.kernel_monitors(), owner, error);
  if (!error.empty()) return error;
  const auto source = [](const std::optional<ChosenSensor>& sensor) -> std::optional<platform::HwmonSource> {
    if (!sensor) return std::nullopt;
    // A hwmon file by its folder and name; elsewhere the input by the name the platform gives it.
    const std::string where =
        platform::IsHwmonFile(sensor->path) ? sensor->folder + "/" + sensor->input() + "_input" : sensor->path;
    return platform::HwmonSource{sensor->path, where + ": " + sensor->reason};
  };
  ports.read_kernel_monitors(source(choice.temperature), source(choice.fan),
                             choice.temperature ? std::string() : std::string(kTemperatureSought));
  return {};
}

}  // namespace monitor

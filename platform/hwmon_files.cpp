#include "platform/hwmon_files.hpp"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/sysfs_files.hpp"

namespace platform {
namespace {

namespace fs = std::filesystem;

// N of a name `prefix`N`suffix` ("hwmon3", "temp2_input"); nothing for any other name.
std::optional<int> Numbered(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  if (digits.empty() || digits.front() < '0' || digits.front() > '9') return std::nullopt;
  int number = 0;
  const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (error != std::errc{} || stop != digits.data() + digits.size()) return std::nullopt;
  return number;
}

// The label's text without the spaces some drivers leave at its end.
std::string Label(const fs::path& path) {
  std::string label = FirstLine(path);
  label.erase(label.find_last_not_of(" \t\r") + 1);
  return label;
}

// The inputs named `kind`N_input in `folder`, by ascending N.
std::vector<HwmonInput> Inputs(const fs::path& folder, std::string_view kind, bool negative_allowed) {
  std::vector<HwmonInput> inputs;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    const std::string file = entry.path().filename().string();
    const std::optional<int> index = Numbered(file, kind, "_input");
    if (!index) continue;
    const std::optional<std::int64_t> value = DecimalAttribute(entry.path());
    if (!value || (*value < 0 && !negative_allowed)) continue;
    const std::string label_file = std::string(kind) + std::to_string(*index) + "_label";
    inputs.push_back({*index, Label(folder / label_file), *value, entry.path().string()});
  }
  std::sort(inputs.begin(), inputs.end(), [](const HwmonInput& a, const HwmonInput& b) { return a.index < b.index; });
  return inputs;
}

// The folder holding the device's name and inputs: its own, or on older kernels its
// device's; nothing without a name file in either.
std::optional<fs::path> AttributeFolder(const fs::path& hwmon) {
  for (const fs::path& folder : {hwmon, hwmon / "device"}) {
    if (!FirstLine(folder / "name").empty()) return folder;
  }
  return std::nullopt;
}

}  // namespace

std::vector<HwmonDevice> ReadHwmonDevices(const fs::path& hwmon_class) {
  std::vector<std::pair<int, fs::path>> folders;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(hwmon_class, error)) {
    if (const auto n = Numbered(entry.path().filename().string(), "hwmon", "")) folders.emplace_back(*n, entry.path());
  }
  // hwmon2 before hwmon10, whatever order the folder lists them in.
  std::sort(folders.begin(), folders.end());
  std::vector<HwmonDevice> devices;
  for (const auto& [n, hwmon] : folders) {
    const std::optional<fs::path> folder = AttributeFolder(hwmon);
    if (!folder) continue;
    HwmonDevice device;
    device.folder = hwmon.filename().string();
    device.name = FirstLine(*folder / "name");
    std::error_code no_link;
    device.platform_device = fs::read_symlink(hwmon / "device", no_link).filename().string();
    device.temperatures = Inputs(*folder, "temp", true);
    device.fans = Inputs(*folder, "fan", false);
    devices.push_back(std::move(device));
  }
  return devices;
}

std::optional<std::int64_t> KernelMonitorFiles::temperature_millidegrees() {
  return DecimalAttribute(temperature_.path);
}

std::optional<std::int64_t> KernelMonitorFiles::fan_rpm() {
  if (!fan_) return std::nullopt;
  return DecimalAttribute(fan_->path);
}

std::string KernelMonitorFiles::description() const {
  return "Temperatur aus " + temperature_.description + "; L\u00fcfter " +
         (fan_ ? "aus " + fan_->description : std::string("nicht gefunden (die Laufschrift zeigt --- rpm)"));
}

}  // namespace platform

#include "platform/windows/sensors/board_sensors.hpp"

#include "platform/diagnostics.hpp"

namespace platform::windows {

PawnIoBoardSensors::PawnIoBoardSensors(Processor& processor, CpuSensors::DeviceFactory open_device,
                                       std::filesystem::path directory)
    : cpu_(processor, std::move(open_device), std::move(directory), pci_) {}

std::vector<HwmonDevice> PawnIoBoardSensors::discover(PawnIoDevice& lpcio, IsaBus& bus) {
  std::vector<HwmonDevice> devices;
  cpu_open_ = cpu_.open();
  if (cpu_open_) {
    HwmonDevice cpu{cpu_.module(), "cpu", "", cpu_.read_all(), {}};
    if (!cpu.temperatures.empty()) devices.push_back(std::move(cpu));
  } else {
    Diagnostic("Sensoren: " + cpu_.failure());
  }
  fans_ = std::make_unique<SuperIoFans>(lpcio, bus);
  chip_ = fans_->find();
  if (chip_) {
    devices.push_back(*chip_);
  } else {
    Diagnostic("Sensoren: kein L\u00fcfter des Boards: " + fans_->why());
  }
  return devices;
}

std::optional<std::int64_t> PawnIoBoardSensors::read(const std::string& path) {
  const auto colon = path.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::string device = path.substr(0, colon);
  const std::string input = path.substr(colon + 1);
  if (device == "cpu") return cpu_open_ ? cpu_.read(input) : std::nullopt;
  const auto fan = InputNumber(input, "fan");
  if (!chip_ || device != chip_->name || !fan) return std::nullopt;
  return fans_->rpm(static_cast<int>(*fan));
}

std::string PawnIoBoardSensors::missing() const { return cpu_open_ ? std::string() : cpu_.failure(); }

std::string PawnIoBoardSensors::origin(const std::string& path) const {
  if (path.starts_with("cpu:")) {
    std::string text = "Modul " + cpu_.module() + " (PawnIO)";
    if (cpu_.module() == "IntelMSR.bin" && cpu_.estimated()) {
      text += ", TjMax gesch\u00e4tzt (MSR 0x1A2 nicht lesbar)";
    }
    return text;
  }
  return "Modul LpcIO.bin (PawnIO), " + (chip_ ? chip_->folder : std::string());
}

}  // namespace platform::windows

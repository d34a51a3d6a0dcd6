#pragma once
// The monitors of a PC without the ITE monitor at 0x290, as PawnIO reaches them: the
// CPU's own sensors through its CPU module, the CPU fan through LpcIO from the board's
// Super-I/O monitor. What the rule in monitor/ chooses among them is read anew at each reading.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/ports/windows_port_io.hpp"
#include "platform/windows/sensors/cpu_sensors.hpp"
#include "platform/windows/sensors/super_io_fan.hpp"

namespace platform::windows {

class PawnIoBoardSensors final : public BoardSensors {
 public:
  // The CPU's module is looked for in `directory` and loaded on a handle `open_device` opens.
  PawnIoBoardSensors(Processor& processor, CpuSensors::DeviceFactory open_device, std::filesystem::path directory);

  // A device "cpu" with the CPU module's temperatures, and the Super-I/O chip's fans.
  std::vector<HwmonDevice> discover(PawnIoDevice& lpcio, IsaBus& bus) override;
  std::optional<std::int64_t> read(const std::string& path) override;
  std::string missing() const override;
  std::string origin(const std::string& path) const override;

 private:
  IsaBus pci_{kPciMutexName};
  CpuSensors cpu_;
  bool cpu_open_ = false;
  std::unique_ptr<SuperIoFans> fans_;
  std::optional<HwmonDevice> chip_;
};

}  // namespace platform::windows

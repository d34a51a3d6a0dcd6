#pragma once
// The I/O ports of a Windows machine: through PawnIO's LpcIO module, or where PawnIO is
// not installed through a port I/O DLL (inpoutx64.dll). Every register access holds
// the ISA bus the hardware-monitoring tools share. Where LpcIO finds no ITE monitor at
// the ports, the readings come from the CPU's own sensors and the board's monitor chip
// (BoardSensors), and no port of the ITE monitor is touched.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/hwmon_devices.hpp"
#include "platform/iow.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/pawnio_port_io.hpp"
#include "platform/windows/ports/port_io_dll.hpp"

namespace platform::windows {

// The monitors of a PC without the ITE monitor at the ports, as PawnIO reaches them.
class BoardSensors {
 public:
  virtual ~BoardSensors() = default;
  // The CPU's own sensors and the board's monitor chip, found once LpcIO (loaded on
  // `lpcio`) found no ITE monitor at the ports; each input's path names it
  // ("cpu:package", "nct6798:fan2"). `bus` is held around the chip's accesses.
  virtual std::vector<HwmonDevice> discover(PawnIoDevice& lpcio, IsaBus& bus) = 0;
  // The input `path` read anew: millidegrees Celsius or rpm; nullopt when it cannot be read.
  virtual std::optional<std::int64_t> read(const std::string& path) = 0;
  // In German: why discover found no CPU temperature, and where the readings come from
  // (the modules); for the user and the set-up report.
  virtual std::string missing() const = 0;
  virtual std::string origin(const std::string& path) const = 0;
};

class WindowsPortIo final : public iow::PortIo {
 public:
  // `device`: PawnIO, `module`: the LpcIO module file, `dlls`: the port I/O DLLs to fall
  // back on, `sensors`: the monitors read where the ports are not the ITE monitor's
  // (none: the ports only, as a PC with the ITE 8705 needs).
  explicit WindowsPortIo(std::unique_ptr<PawnIoDevice> device = std::make_unique<Win32PawnIoDevice>(),
                         std::filesystem::path module = ModuleBesideProgram(),
                         std::span<const PortIoLibrary> dlls = DefaultPortIoLibraries(),
                         BoardSensors* sensors = nullptr);

  // With sensors: asks PawnIO once whether an ITE monitor answers at the monitor's ports,
  // as acquire does; where LpcIO finds none, looks for the board's other monitors.
  void identify() override;
  // PawnIO first; the DLL only when PawnIO is not installed. On failure the reasons
  // are reported as diagnostics and left as advice for the user's message box. Where
  // identify found no ITE monitor: succeeds when a CPU temperature was chosen, touching no port.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;
  // The chip PawnIO's module identified; unknown through a port I/O DLL.
  iow::MonitorChip chip() const override { return shared_ ? shared_->chip() : iow::MonitorChip{}; }
  iow::MonitorDriver* driver() override;
  std::string foreign_ports() const override { return foreign_; }
  std::vector<HwmonDevice> kernel_monitors() const override;
  void read_kernel_monitors(const std::optional<HwmonSource>& temperature, const std::optional<HwmonSource>& fan,
                            const std::string& why) override;
  // Where the readings come from the board's other monitors: which inputs and modules; empty otherwise.
  std::string sensor_sources() const;
  // Where no CPU temperature was found there: what was looked for and why not; empty otherwise.
  std::string sensor_missing() const;

 private:
  // The chosen inputs, read anew at each reading.
  class Readings final : public iow::MonitorDriver {
   public:
    explicit Readings(WindowsPortIo& owner) : owner_(owner) {}
    std::optional<std::int64_t> temperature_millidegrees() override;
    std::optional<std::int64_t> fan_rpm() override;
    bool register_readings() const override { return false; }

   private:
    WindowsPortIo& owner_;
  };

  bool use(iow::PortIo& backend);

  IsaBus bus_;
  std::unique_ptr<PawnIoDevice> device_;
  PawnIoPortIo pawnio_;
  PortIoDll dll_;
  BoardSensors* sensors_;
  std::unique_ptr<IsaBusPortIo> shared_;
  bool identified_ = false;
  bool pawnio_ready_ = false;  // identify found the ITE monitor
  std::string foreign_;
  std::vector<HwmonDevice> monitors_;
  std::optional<HwmonSource> temperature_;
  std::optional<HwmonSource> fan_;
  Readings readings_{*this};
};

}  // namespace platform::windows

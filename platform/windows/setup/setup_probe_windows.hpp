#pragma once
// The set-up facts of a 64-bit Windows program: the IO-Warrior's HID interfaces, the rights
// of the process, PawnIO with its module LpcIO and the chip it finds on each configuration
// slot, the ISA bus the monitoring tools share, and the port I/O DLL where PawnIO is absent.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "platform/desktop.hpp"
#include "platform/setup_facts.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/pawnio_port_io.hpp"
#include "platform/windows/ports/port_io_dll.hpp"
#include "platform/windows/setup/setup_facts_windows.hpp"

namespace platform::windows {

// The PawnIO version lumatext's setup brings along and installs where an older one or none is.
inline constexpr char kPawnIoCarried[] = "2.1.0.0";

// The DisplayVersion of PawnIO's uninstall entry (64-bit view); empty when there is none.
std::string InstalledPawnIoVersion();

// Where the facts come from, beside those every Windows probe gathers; tests put fakes here.
struct WindowsSetupPlaces : SetupPlaces {
  std::function<std::unique_ptr<PawnIoDevice>()> pawnio = [] { return std::make_unique<Win32PawnIoDevice>(); };
  std::filesystem::path module = ModuleBesideProgram();
  std::function<std::string()> pawnio_version = InstalledPawnIoVersion;
};

class WindowsSetupProbe final : public SetupProbe {
 public:
  // Value-initialised, not `= {}`: GCC 12 takes the braces' initialisation of the base
  // SetupPlaces for a read of an uninitialised string (-Wmaybe-uninitialized).
  // `access`: what the program's own port access found where the ports are not the ITE
  // monitor's (the sensors it reads instead); empty on the ITE monitor's PC.
  explicit WindowsSetupProbe(WindowsSetupPlaces places = WindowsSetupPlaces(), PortAccess access = PortAccess());
  ~WindowsSetupProbe() override;

  // Asks PawnIO on a handle of its own whether it opens and takes the module, then
  // gains the ports as lumatext does (PawnIO, or the DLL where PawnIO is absent).
  SetupFacts collect() override;
  // After collect: the ports as lumatext would use them, each register access holding
  // the ISA bus; reads give 0xFF when they could not be had.
  iow::PortIo& ports() override;

 private:
  void look_at_pawnio(WindowsPortFacts& facts);

  // The program's readings where the ports are not the ITE monitor's, as ports that
  // touch no port.
  class SensorPorts final : public iow::PortIo {
   public:
    explicit SensorPorts(iow::MonitorDriver* driver) : driver_(driver) {}
    bool acquire(std::uint16_t, std::uint16_t) override { return true; }
    void out(std::uint16_t, std::uint8_t) override {}
    std::uint8_t in(std::uint16_t) override { return 0xFF; }
    iow::MonitorDriver* driver() override { return driver_; }

   private:
    iow::MonitorDriver* driver_;
  };

  WindowsSetupPlaces places_;
  PortAccess access_;
  SensorPorts sensor_ports_{access_.kernel_driver};
  // Before the backends, which use the bus: it goes after them.
  ProbedBus bus_;
  std::unique_ptr<PawnIoDevice> device_;
  std::unique_ptr<PawnIoPortIo> pawnio_;
  std::unique_ptr<PortIoDll> dll_;
};

}  // namespace platform::windows

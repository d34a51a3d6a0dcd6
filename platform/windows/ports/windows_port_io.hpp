#pragma once
// The I/O ports of a Windows machine: through PawnIO's LpcIO module, or where PawnIO is
// not installed through a port I/O DLL (inpoutx64.dll). Every register access holds
// the ISA bus the hardware-monitoring tools share.

#include <memory>

#include "platform/iow.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/pawnio_port_io.hpp"
#include "platform/windows/ports/port_io_dll.hpp"

namespace platform::windows {

class WindowsPortIo final : public iow::PortIo {
 public:
  // `device`: PawnIO, `module`: the LpcIO module file, `dlls`: the port I/O DLLs to fall back on.
  explicit WindowsPortIo(std::unique_ptr<PawnIoDevice> device = std::make_unique<Win32PawnIoDevice>(),
                         std::filesystem::path module = ModuleBesideProgram(),
                         std::span<const PortIoLibrary> dlls = DefaultPortIoLibraries());

  // PawnIO first; the DLL only when PawnIO is not installed. On failure the reasons
  // are reported as diagnostics and left as advice for the user's message box.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;
  // The chip PawnIO's module identified; unknown through a port I/O DLL.
  iow::MonitorChip chip() const override { return shared_ ? shared_->chip() : iow::MonitorChip{}; }

 private:
  IsaBus bus_;
  std::unique_ptr<PawnIoDevice> device_;
  PawnIoPortIo pawnio_;
  PortIoDll dll_;
  std::unique_ptr<IsaBusPortIo> shared_;
};

}  // namespace platform::windows

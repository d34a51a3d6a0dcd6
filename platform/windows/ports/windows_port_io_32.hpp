#pragma once
// The I/O ports of a 32-bit Windows program: through a port I/O DLL, IO.DLL or else
// inpout32.dll. PawnIO, which the 64-bit program prefers, has no 32-bit driver. Every
// register access holds the ISA bus the hardware-monitoring tools share.

#include <memory>

#include "platform/iow.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/port_io_dll.hpp"

namespace platform::windows {

class WindowsPortIo final : public iow::PortIo {
 public:
  // `dlls`: the port I/O DLLs, tried in turn.
  explicit WindowsPortIo(std::span<const PortIoLibrary> dlls = DefaultPortIoLibraries());

  // The first DLL that loads, named in a diagnostic. When none does, the reason of each
  // is reported as a diagnostic and left as advice for the user's message box.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;

  // Which DLL serves the ports, and why each one tried before it was not taken.
  const PortIoDll& dll() const { return dll_; }

 private:
  IsaBus bus_;
  PortIoDll dll_;
  std::unique_ptr<IsaBusPortIo> shared_;
};

}  // namespace platform::windows

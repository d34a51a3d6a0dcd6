#pragma once
// The set-up facts every Windows build gathers alike: the IO-Warrior's HID interfaces,
// the rights and the name of the process, and the ports a probe without them offers.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iow.hpp"
#include "platform/setup_facts.hpp"
#include "platform/windows/ports/isa_bus.hpp"

namespace platform::windows {

// One IO-Warrior HID interface as the report shows it: its device path, USB product ID,
// serial number and output report length (report ID included; 0 when unknown), and how
// opening it for writing went (`open_error`: ERROR_SUCCESS or the Windows error).
IowarriorNode IowarriorInterface(std::wstring_view path, std::uint16_t product, std::wstring_view serial,
                                 std::uint16_t output_report_length, DWORD open_error);

// Every IO-Warrior HID interface present, in the order lumatext tries them. Each is
// opened for writing once, to learn whether another program holds it, and closed again.
std::vector<IowarriorNode> IowarriorInterfaces();

// Whether this process runs with an administrator's rights (elevated).
bool ProcessIsElevated();

// The name of the user this process runs as; "?" when Windows does not say.
std::string ProcessUserName();

// The ports of a probe that could not gain them: writes go nowhere, reads give 0xFF.
class NoPorts final : public iow::PortIo {
 public:
  bool acquire(std::uint16_t, std::uint16_t) override { return false; }
  void out(std::uint16_t, std::uint8_t) override {}
  std::uint8_t in(std::uint16_t) override { return 0xFF; }
};

// The ISA bus as a set-up probe finds it, and the ports the probe offers once it has
// collected: the backend it gained, each register access holding the bus, or NoPorts.
class ProbedBus {
 public:
  // Opens the bus `name` afresh; what goes wrong with it is gathered for the report.
  IsaBus& open(const std::wstring& name);
  // Notes in `ports` whether the bus can be had now and what went wrong with it, and
  // offers `backend` (null when none was gained) through the bus.
  void finish(WindowsPortFacts& ports, iow::PortIo* backend);
  // The ports offered; NoPorts before finish and after release.
  iow::PortIo& ports();
  // Withdraws the ports offered, before the backend they reach goes.
  void release() { shared_.reset(); }

 private:
  std::string problems_;
  std::unique_ptr<IsaBus> bus_;
  std::unique_ptr<IsaBusPortIo> shared_;
  NoPorts none_;
};

}  // namespace platform::windows

#pragma once
// The set-up facts every Windows build gathers alike: the IO-Warrior's HID interfaces,
// the rights and the name of the process, the ISA bus, the port I/O DLL where it is the
// way to the ports, and the ports a probe without them offers.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iow.hpp"
#include "platform/setup_facts.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/port_io_dll.hpp"

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

// Where the facts every Windows probe gathers come from; tests put fakes here.
struct SetupPlaces {
  std::function<bool()> elevated = ProcessIsElevated;
  std::function<std::vector<IowarriorNode>()> iowarriors = IowarriorInterfaces;
  std::span<const PortIoLibrary> dlls = DefaultPortIoLibraries();
  std::wstring isa_bus = kIsaBusMutexName;
  // The monitor's address and data port.
  std::uint16_t first_port = 0x295;
  std::uint16_t port_count = 2;
};

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

// The first steps of every Windows probe: the IO-Warrior's HID interfaces and the user
// into `facts`, the rights of the process and the ISA bus's name into `ports`, and the
// bus `places` names opened afresh in `bus`, which is returned.
IsaBus& GatherCommonFacts(const SetupPlaces& places, SetupFacts& facts, WindowsPortFacts& ports, ProbedBus& bus);

// The ports as lumatext gains them through a port I/O DLL: the first of `places.dlls`
// that loads, kept in `dll`. Notes in `ports` that a DLL was tried, and the one loaded or
// why none was; returns the DLL's ports, or null.
iow::PortIo* GainPortsThroughDll(const SetupPlaces& places, std::unique_ptr<PortIoDll>& dll,
                                 WindowsPortFacts& ports);

}  // namespace platform::windows

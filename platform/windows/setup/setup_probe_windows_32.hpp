#pragma once
// The set-up facts of a 32-bit Windows program: the IO-Warrior's HID interfaces, the
// rights of the process, each port I/O DLL tried (IO.DLL, then inpout32.dll) and the ISA
// bus the monitoring tools share. PawnIO has no 32-bit driver and is not asked.

#include <memory>

#include "platform/setup_facts.hpp"
#include "platform/windows/ports/isa_bus.hpp"
#include "platform/windows/ports/port_io_dll.hpp"
#include "platform/windows/setup/setup_facts_windows.hpp"

namespace platform::windows {

// Where the facts come from: those every Windows probe gathers, no more; tests put fakes here.
using DllSetupPlaces = SetupPlaces;

class DllSetupProbe final : public SetupProbe {
 public:
  explicit DllSetupProbe(DllSetupPlaces places = {});
  ~DllSetupProbe() override;

  // Gains the ports as lumatext does, through the first port I/O DLL that loads, and
  // notes each DLL tried with its outcome.
  SetupFacts collect() override;
  // After collect: the ports as lumatext would use them, each register access holding
  // the ISA bus; reads give 0xFF when they could not be had.
  iow::PortIo& ports() override;

 private:
  DllSetupPlaces places_;
  // Before the DLL, which the ports offered use: it goes after it.
  ProbedBus bus_;
  std::unique_ptr<PortIoDll> dll_;
};

}  // namespace platform::windows

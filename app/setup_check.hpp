#pragma once
// `lumatext --check`: the set-up report for a person, in German.

#include <ostream>

#include "monitor/sensor_choice.hpp"
#include "platform/iow.hpp"
#include "platform/setup_facts.hpp"

namespace app {

// Writes one line per item of `facts` to `out`, each saying whether it is fine and if
// not what to do, and reads both sensor registers once through `ports` when the ports
// were granted, showing the two texts the sign would show. Presses no key and writes
// nothing to the IO-Warrior. 0 when lumatext can run here, 1 otherwise.
int ReportSetup(const platform::SetupFacts& facts, iow::PortIo& ports, std::ostream& out);

// `lumatext --sensors`: every temperature and fan the kernel's monitors offer (the name to
// give --temperature-sensor or --fan-sensor, the value), and which of them lumatext reads
// and why, or that it reads the ITE monitor at 0x290. 0, or 1 where no reading can be had.
int ReportSensors(iow::PortIo& ports, const monitor::OwnerChoices& owner, std::ostream& out);

}  // namespace app

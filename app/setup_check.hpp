#pragma once
// `lumatext --check`: the set-up report for a person, in German.

#include <ostream>

#include "platform/iow.hpp"
#include "platform/setup_facts.hpp"

namespace app {

// Writes one line per item of `facts` to `out`, each saying whether it is fine and if
// not what to do, and reads both sensor registers once through `ports` when the ports
// were granted, showing the two texts the sign would show. Presses no key and writes
// nothing to the IO-Warrior. 0 when lumatext can run here, 1 otherwise.
int ReportSetup(const platform::SetupFacts& facts, iow::PortIo& ports, std::ostream& out);

}  // namespace app

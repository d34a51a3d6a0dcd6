// Where there is no set-up report: no probe exists.

#include "platform/setup_facts.hpp"

namespace platform {

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess&) { return nullptr; }

}  // namespace platform

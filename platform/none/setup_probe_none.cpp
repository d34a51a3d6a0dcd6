// Where there is no set-up report: no port access is sought and no probe exists.

#include "platform/setup_facts.hpp"

namespace platform {

PortAccess AcquirePortAccess(std::uint16_t, std::uint16_t) { return {}; }

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess&) { return nullptr; }

}  // namespace platform

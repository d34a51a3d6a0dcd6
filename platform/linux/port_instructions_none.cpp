#include <cerrno>

#include "platform/linux/port_instructions.hpp"

namespace platform::lnx {

const bool kHavePortInstructions = false;

int GrantPorts(std::uint16_t, std::uint16_t) {
  errno = ENOSYS;
  return -1;
}

void ReleasePorts(std::uint16_t, std::uint16_t) {}

void WritePort(std::uint16_t, std::uint8_t) {}

std::uint8_t ReadPort(std::uint16_t) { return 0xFF; }

}  // namespace platform::lnx

#include <sys/io.h>

#include "platform/linux/port_instructions.hpp"

namespace platform::lnx {

const bool kHavePortInstructions = true;

int GrantPorts(std::uint16_t first, std::uint16_t count) { return ::ioperm(first, count, 1); }

void ReleasePorts(std::uint16_t first, std::uint16_t count) { ::ioperm(first, count, 0); }

void WritePort(std::uint16_t port, std::uint8_t value) { ::outb(value, port); }

std::uint8_t ReadPort(std::uint16_t port) { return ::inb(port); }

}  // namespace platform::lnx

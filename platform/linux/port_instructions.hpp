#pragma once
// The processor's port instructions, where it has them.

#include <cstdint>

namespace platform::lnx {

// False on machines without I/O port instructions; then the functions below do nothing.
extern const bool kHavePortInstructions;

// ioperm(first, count, 1): 0, or -1 with errno set.
int GrantPorts(std::uint16_t first, std::uint16_t count);
// ioperm(first, count, 0): gives the ports back.
void ReleasePorts(std::uint16_t first, std::uint16_t count);
void WritePort(std::uint16_t port, std::uint8_t value);
std::uint8_t ReadPort(std::uint16_t port);

}  // namespace platform::lnx

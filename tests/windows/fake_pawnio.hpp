#pragma once
// A PawnIO device that fails as only the driver can, where no module shows it: the
// device missing or closed to this user, a load refused for reasons of its own.

#include <string>
#include <vector>

#include "platform/windows/ports/pawnio_port_io.hpp"

namespace platform::windows {

class FailingPawnIo final : public PawnIoDevice {
 public:
  DWORD open_result = ERROR_SUCCESS;
  DWORD load_result = ERROR_SUCCESS;
  // The execute calls that reached the device.
  int executed = 0;

  DWORD open() override { return open_result; }

  DWORD control(DWORD code, std::span<const std::uint8_t>, std::span<std::uint8_t>, DWORD& returned) override {
    returned = 0;
    if (code == kPawnIo.load_module) return load_result;
    ++executed;
    return ERROR_GEN_FAILURE;
  }
};

// A device shared with the port I/O that owns the one handed to it.
class SharedPawnIo final : public PawnIoDevice {
 public:
  explicit SharedPawnIo(PawnIoDevice& device) : device_(device) {}
  DWORD open() override { return device_.open(); }
  DWORD control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out, DWORD& returned) override {
    return device_.control(code, in, out, returned);
  }

 private:
  PawnIoDevice& device_;
};

}  // namespace platform::windows

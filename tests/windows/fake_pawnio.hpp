#pragma once
// A fake PawnIO device for the tests of the Windows port I/O.

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <vector>

#include "platform/hex_text.hpp"
#include "platform/windows/pawnio_port_io.hpp"

namespace platform::windows {

// The PawnIO driver with LpcIO loaded, at its DeviceIoControl interface, in front of
// a Super-I/O chip: it checks each call's layout and argument counts as the driver
// does, models the chip's configuration mode, the module's port windows and the
// environment controller's address/data pair, and records every call.
class FakePawnIo final : public PawnIoDevice {
 public:
  struct Chip {
    unsigned slot = 0;
    std::uint16_t id = 0x8705;
    std::set<unsigned> bars{0x290};  // the windows find_bars opens
  };

  DWORD open_result = ERROR_SUCCESS;
  DWORD load_result = ERROR_SUCCESS;
  DWORD select_result = ERROR_SUCCESS;  // a module without ioctl_select_slot answers ERROR_NOT_FOUND
  std::vector<Chip> chips{Chip{}};
  std::array<std::uint8_t, 256> registers{};
  std::vector<std::string> calls;  // "select_slot 0", "pio_outb 0x2E 0x87", ...
  std::vector<DWORD> codes;
  std::vector<std::vector<std::uint8_t>> inputs;
  std::vector<std::uint8_t> module;

  DWORD open() override { return open_result; }

  DWORD control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                DWORD& returned) override {
    returned = 0;
    codes.push_back(code);
    inputs.emplace_back(in.begin(), in.end());
    if (code == 0xA1B22084) {
      module.assign(in.begin(), in.end());
      loaded_ = load_result == ERROR_SUCCESS;
      return load_result;
    }
    if (code != 0xA1B22104 || !loaded_ || in.size() < 32 || (in.size() - 32) % 8 != 0) return ERROR_INVALID_PARAMETER;
    // The name: NUL-terminated, the rest of its 32 bytes zero.
    const std::string name(reinterpret_cast<const char*>(in.data()));
    if (name.size() >= 32) return ERROR_INVALID_PARAMETER;
    for (std::size_t i = name.size(); i < 32; ++i) {
      if (in[i] != 0) return ERROR_INVALID_PARAMETER;
    }
    std::vector<std::uint64_t> args((in.size() - 32) / 8);
    for (std::size_t i = 0; i < args.size(); ++i) {
      for (std::size_t byte = 0; byte < 8; ++byte) args[i] |= std::uint64_t{in[32 + 8 * i + byte]} << (8 * byte);
    }
    std::string call = name.substr(name.rfind("ioctl_") == 0 ? 6 : 0);
    for (const std::uint64_t arg : args) call += ' ' + Hex(static_cast<unsigned>(arg), 2);
    calls.push_back(call);

    const auto sized = [&](std::size_t in_count, std::size_t out_count) {
      return args.size() == in_count && out.size() == 8 * out_count;
    };
    std::uint64_t result = 0;
    if (name == "ioctl_select_slot" && sized(1, 0)) {
      if (select_result != ERROR_SUCCESS) return select_result;
      if (args[0] > 1) return ERROR_INVALID_PARAMETER;
      config_ = args[0] == 0 ? 0x2E : 0x4E;
      windows_.clear();
      entry_.clear();
      return ERROR_SUCCESS;
    }
    if (config_ == 0) return ERROR_NOT_READY;
    if (name == "ioctl_pio_outb" && sized(2, 0)) {
      const auto port = static_cast<unsigned>(args[0]);
      if (!allowed(port)) return ERROR_ACCESS_DENIED;
      if (port == config_) entry_.push_back(static_cast<std::uint8_t>(args[1]));
      if (port == config_ + 1 && index_ == 0x02 && (args[1] & 0x02) != 0) entry_.clear();  // leaves configuration
      if (port == config_) index_ = static_cast<std::uint8_t>(args[1]);
      if (port == 0x295) address_ = static_cast<std::uint8_t>(args[1]);
      return ERROR_SUCCESS;
    }
    if (name == "ioctl_pio_inb" && sized(1, 1)) {
      const auto port = static_cast<unsigned>(args[0]);
      if (!allowed(port)) return ERROR_ACCESS_DENIED;
      result = port == 0x296 ? registers[address_] : 0xFF;
    } else if (name == "ioctl_superio_inb" && sized(1, 1)) {
      const Chip* chip = entered();
      result = chip == nullptr ? 0xFF : args[0] == 0x20 ? chip->id >> 8 : args[0] == 0x21 ? chip->id & 0xFF : 0;
    } else if (name == "ioctl_superio_outb" && sized(2, 0)) {
      if (args[0] == 0x02 && (args[1] & 0x02) != 0) entry_.clear();
      return ERROR_SUCCESS;
    } else if (name == "ioctl_find_bars" && sized(0, 0)) {
      const Chip* chip = entered();
      if (chip == nullptr) return ERROR_NOT_FOUND;
      windows_ = chip->bars;
      return ERROR_SUCCESS;
    } else {
      return ERROR_INVALID_PARAMETER;
    }
    for (std::size_t byte = 0; byte < 8; ++byte) out[byte] = static_cast<std::uint8_t>(result >> (8 * byte));
    returned = 8;
    return ERROR_SUCCESS;
  }

  // Whether the selected slot's chip is in configuration mode.
  bool in_config_mode() { return entered() != nullptr; }

 private:
  bool allowed(unsigned port) const {
    return port == config_ || port == config_ + 1u || windows_.count(port & ~7u) != 0;
  }
  const Chip* entered() const {
    const std::vector<std::uint8_t> key{0x87, 0x01, 0x55, static_cast<std::uint8_t>(config_ == 0x2E ? 0x55 : 0xAA)};
    if (entry_.size() < 4 || !std::equal(key.begin(), key.end(), entry_.end() - 4)) return nullptr;
    for (const Chip& chip : chips) {
      if ((chip.slot == 0 ? 0x2Eu : 0x4Eu) == config_) return &chip;
    }
    return nullptr;
  }

  bool loaded_ = false;
  unsigned config_ = 0;
  std::set<unsigned> windows_;
  std::vector<std::uint8_t> entry_;
  std::uint8_t index_ = 0;
  std::uint8_t address_ = 0;
};

}  // namespace platform::windows

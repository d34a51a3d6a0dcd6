#pragma once
// The URB stage of USB/IP as the kernel's vhci_hcd speaks it: every message starts with
// a 48-byte header of big-endian 32-bit fields; CMD_SUBMIT of an OUT transfer is
// followed by its data, RET_SUBMIT of an IN transfer by the data returned.

#include <array>
#include <cstdint>
#include <span>

namespace usbip {

constexpr std::size_t kHeaderSize = 48;

enum class Command : std::uint32_t {
  kCmdSubmit = 1,
  kCmdUnlink = 2,
  kRetSubmit = 3,
  kRetUnlink = 4,
};

// Transfer direction, seen from the host.
constexpr std::uint32_t kDirOut = 0;
constexpr std::uint32_t kDirIn = 1;

// Status codes the host's URBs complete with (negative errno values of Linux).
constexpr std::int32_t kStatusOk = 0;
constexpr std::int32_t kStatusStall = -32;       // -EPIPE: the device refused the request
constexpr std::int32_t kStatusUnlinked = -104;   // -ECONNRESET: the URB was cancelled

// One header, whatever its command; the fields a command does not use stay zero.
struct Header {
  Command command = Command::kCmdSubmit;
  std::uint32_t seqnum = 0;
  std::uint32_t devid = 0;
  std::uint32_t direction = kDirOut;
  std::uint32_t ep = 0;
  // CMD_SUBMIT
  std::uint32_t transfer_flags = 0;
  std::int32_t transfer_buffer_length = 0;
  std::int32_t interval = 0;
  std::array<std::uint8_t, 8> setup{};
  // CMD_UNLINK: the URB to cancel
  std::uint32_t unlink_seqnum = 0;
  // RET_SUBMIT, RET_UNLINK
  std::int32_t status = 0;
  std::int32_t actual_length = 0;
};

// Decodes a header; false when its command is none of the four.
bool Parse(std::span<const std::uint8_t, kHeaderSize> bytes, Header& header);
// Encodes a header in the layout of its command.
std::array<std::uint8_t, kHeaderSize> Serialize(const Header& header);

// The control request in the setup packet of a transfer on endpoint 0 (little-endian).
struct SetupPacket {
  std::uint8_t request_type = 0;
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
  std::uint16_t length = 0;
};
SetupPacket ParseSetup(const std::array<std::uint8_t, 8>& setup);

}  // namespace usbip

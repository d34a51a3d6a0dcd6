#include "sim/usbip/usbip_wire.hpp"

namespace usbip {
namespace {

std::uint32_t Get32(std::span<const std::uint8_t, kHeaderSize> bytes, std::size_t offset) {
  return static_cast<std::uint32_t>(bytes[offset]) << 24 | static_cast<std::uint32_t>(bytes[offset + 1]) << 16 |
         static_cast<std::uint32_t>(bytes[offset + 2]) << 8 | static_cast<std::uint32_t>(bytes[offset + 3]);
}

void Put32(std::array<std::uint8_t, kHeaderSize>& bytes, std::size_t offset, std::uint32_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value >> 24);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 16);
  bytes[offset + 2] = static_cast<std::uint8_t>(value >> 8);
  bytes[offset + 3] = static_cast<std::uint8_t>(value);
}

// Offsets of the fields after the 20-byte basic header (command, seqnum, devid, direction, ep).
constexpr std::size_t kCommand = 0, kSeqnum = 4, kDevid = 8, kDirection = 12, kEp = 16;
constexpr std::size_t kFlagsOrStatus = 20, kLength = 24, kInterval = 36, kSetup = 40;

}  // namespace

bool Parse(std::span<const std::uint8_t, kHeaderSize> bytes, Header& header) {
  const std::uint32_t command = Get32(bytes, kCommand);
  if (command < 1 || command > 4) return false;
  header = Header{};
  header.command = static_cast<Command>(command);
  header.seqnum = Get32(bytes, kSeqnum);
  header.devid = Get32(bytes, kDevid);
  header.direction = Get32(bytes, kDirection);
  header.ep = Get32(bytes, kEp);
  switch (header.command) {
    case Command::kCmdSubmit:
      header.transfer_flags = Get32(bytes, kFlagsOrStatus);
      header.transfer_buffer_length = static_cast<std::int32_t>(Get32(bytes, kLength));
      header.interval = static_cast<std::int32_t>(Get32(bytes, kInterval));
      for (std::size_t i = 0; i < header.setup.size(); ++i) header.setup[i] = bytes[kSetup + i];
      break;
    case Command::kCmdUnlink:
      header.unlink_seqnum = Get32(bytes, kFlagsOrStatus);
      break;
    case Command::kRetSubmit:
      header.status = static_cast<std::int32_t>(Get32(bytes, kFlagsOrStatus));
      header.actual_length = static_cast<std::int32_t>(Get32(bytes, kLength));
      break;
    case Command::kRetUnlink:
      header.status = static_cast<std::int32_t>(Get32(bytes, kFlagsOrStatus));
      break;
  }
  return true;
}

std::array<std::uint8_t, kHeaderSize> Serialize(const Header& header) {
  std::array<std::uint8_t, kHeaderSize> bytes{};
  Put32(bytes, kCommand, static_cast<std::uint32_t>(header.command));
  Put32(bytes, kSeqnum, header.seqnum);
  Put32(bytes, kDevid, header.devid);
  Put32(bytes, kDirection, header.direction);
  Put32(bytes, kEp, header.ep);
  switch (header.command) {
    case Command::kCmdSubmit:
      Put32(bytes, kFlagsOrStatus, header.transfer_flags);
      Put32(bytes, kLength, static_cast<std::uint32_t>(header.transfer_buffer_length));
      Put32(bytes, kInterval, static_cast<std::uint32_t>(header.interval));
      for (std::size_t i = 0; i < header.setup.size(); ++i) bytes[kSetup + i] = header.setup[i];
      break;
    case Command::kCmdUnlink:
      Put32(bytes, kFlagsOrStatus, header.unlink_seqnum);
      break;
    case Command::kRetSubmit:
      // start_frame, number_of_packets and error_count stay 0: no isochronous transfers.
      Put32(bytes, kFlagsOrStatus, static_cast<std::uint32_t>(header.status));
      Put32(bytes, kLength, static_cast<std::uint32_t>(header.actual_length));
      break;
    case Command::kRetUnlink:
      Put32(bytes, kFlagsOrStatus, static_cast<std::uint32_t>(header.status));
      break;
  }
  return bytes;
}

SetupPacket ParseSetup(const std::array<std::uint8_t, 8>& setup) {
  const auto le16 = [&](std::size_t at) {
    return static_cast<std::uint16_t>(setup[at] | static_cast<unsigned>(setup[at + 1]) << 8);
  };
  return SetupPacket{setup[0], setup[1], le16(2), le16(4), le16(6)};
}

}  // namespace usbip

#include "sim/usbip/usbip_server.hpp"

#include <array>
#include <vector>

namespace usbip {

std::string Serve(ByteStream& stream, IowDevice& device) {
  // The largest transfer this device takes: a control request's data stage.
  constexpr std::int32_t kMaxTransfer = 4096;
  for (;;) {
    std::array<std::uint8_t, kHeaderSize> bytes{};
    if (!stream.read_exact(bytes)) return {};
    Header header;
    if (!Parse(bytes, header)) return "unknown USB/IP command " + std::to_string(bytes[3]);
    std::vector<std::uint8_t> data;
    if (header.command == Command::kCmdSubmit && header.direction == kDirOut && header.transfer_buffer_length > 0) {
      if (header.transfer_buffer_length > kMaxTransfer) {
        return "OUT transfer of " + std::to_string(header.transfer_buffer_length) + " bytes";
      }
      data.resize(static_cast<std::size_t>(header.transfer_buffer_length));
      if (!stream.read_exact(data)) return "the stream ended inside an OUT transfer";
    }
    for (const auto& reply : device.handle(header, data)) {
      if (!stream.write_all(reply)) return "a reply could not be sent";
    }
  }
}

}  // namespace usbip

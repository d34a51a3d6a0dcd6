#pragma once
// Serves a USB/IP connection: reads commands, hands them to the device, sends its replies.

#include <cstdint>
#include <span>
#include <string>

#include "sim/usbip/iow_device.hpp"

namespace usbip {

// A connected byte stream.
class ByteStream {
 public:
  virtual ~ByteStream() = default;
  // Fills `buffer` completely; false when the stream ends or fails first.
  virtual bool read_exact(std::span<std::uint8_t> buffer) = 0;
  // Sends all of `bytes`; false when the stream fails.
  virtual bool write_all(std::span<const std::uint8_t> bytes) = 0;
};

// Serves commands from `stream` until it ends. Returns an empty string when the stream
// ended between two messages, else what went wrong.
std::string Serve(ByteStream& stream, IowDevice& device);

}  // namespace usbip

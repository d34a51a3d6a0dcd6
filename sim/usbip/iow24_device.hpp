#pragma once
// An IO-Warrior 24 as the host's USB stack sees it over USB/IP: vendor 0x07C0, product
// 0x1501, low speed, two HID interfaces (0: the I/O pins, interrupt-IN of 2 bytes;
// 1: the special modes, interrupt-IN of 8 bytes). Its pins are set by a HID SET_REPORT
// on interface 0 carrying the two port bytes.

#include <cstdint>
#include <functional>
#include <list>
#include <span>
#include <string>
#include <vector>

#include "sim/usbip/usbip_wire.hpp"

namespace usbip {

// The HID report descriptor of interface 0 (the pins, 2 bytes in and out) or 1 (the
// special modes, 8 bytes): vendor-defined reports without a report ID.
std::vector<std::uint8_t> Iow24ReportDescriptor(int interface);

class Iow24Device {
 public:
  // `serial`: the serial number string, 8 hex digits on the real chip.
  explicit Iow24Device(std::string serial);

  // Called with the report ID and the two port bytes of every pin report.
  void on_pins(std::function<void(std::uint8_t id, std::uint8_t port0, std::uint8_t port1)> listener) {
    pins_ = std::move(listener);
  }
  // Called when the host starts and stops listening on interface 0 (the driver's node
  // is opened and closed).
  void on_open(std::function<void()> listener) { opened_ = std::move(listener); }
  void on_close(std::function<void()> listener) { closed_ = std::move(listener); }

  // Handles one command (CMD_SUBMIT with its OUT data, or CMD_UNLINK) and returns the
  // messages to send back, each a header followed by its IN data. Interrupt-IN
  // transfers stay pending (the pins' inputs never change) until they are unlinked.
  std::vector<std::vector<std::uint8_t>> handle(const Header& command, std::span<const std::uint8_t> data);

  // The port bytes last set (0xFF 0xFF at power-up: every line high).
  std::uint8_t port0() const { return port0_; }
  std::uint8_t port1() const { return port1_; }

 private:
  struct Reply {
    std::int32_t status = kStatusOk;
    std::vector<std::uint8_t> data;
  };
  Reply control(const SetupPacket& setup, std::span<const std::uint8_t> data);
  Reply descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t interface) const;

  std::string serial_;
  std::uint8_t port0_ = 0xFF;
  std::uint8_t port1_ = 0xFF;
  struct Pending {
    std::uint32_t seqnum;
    std::uint32_t ep;
  };
  std::list<Pending> pending_;
  std::function<void(std::uint8_t, std::uint8_t, std::uint8_t)> pins_;
  std::function<void()> opened_;
  std::function<void()> closed_;
};

}  // namespace usbip

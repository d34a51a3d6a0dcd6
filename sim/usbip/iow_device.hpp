#pragma once
// An IO-Warrior as the host's USB stack sees it over USB/IP: vendor 0x07C0, the model's
// product ID, two HID interfaces (0: the I/O pins, 1: the special modes). The IO-Warrior
// 24 and 40 are low-speed devices with one interrupt-IN endpoint per interface (of the pin
// report's size on interface 0, 8 bytes on interface 1) whose pins are set by a HID
// SET_REPORT on interface 0. The 56, 28, 28L and 100 are full-speed devices with an
// interrupt-IN and an interrupt-OUT endpoint per interface (the pin report and its ID on
// interface 0, 64 bytes on interface 1) whose pins are set by an interrupt-OUT transfer.

#include <cstdint>
#include <functional>
#include <list>
#include <span>
#include <string>
#include <vector>

#include "platform/iowarrior_models.hpp"
#include "sim/usbip/usbip_wire.hpp"

namespace usbip {

// The HID report descriptor of `model`'s interface 0 (the pins: the pin report's port
// bytes in and out) or 1 (the special modes): vendor-defined reports without a report ID.
std::vector<std::uint8_t> IowReportDescriptor(const platform::IowarriorModel& model, int interface);

class IowDevice {
 public:
  // `serial`: the serial number string, 8 hex digits on the real chip. `model`: one with
  // a known pin report length.
  IowDevice(std::string serial, const platform::IowarriorModel& model);

  // Called with the report ID (0) and the port bytes of every pin report, as many as the
  // host sent.
  void on_pins(std::function<void(std::uint8_t id, std::span<const std::uint8_t> ports)> listener) {
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

  // The port bytes last set (all 0xFF at power-up: every line high).
  const std::vector<std::uint8_t>& ports() const { return ports_; }
  const platform::IowarriorModel& model() const { return model_; }

 private:
  struct Reply {
    std::int32_t status = kStatusOk;
    std::vector<std::uint8_t> data;
  };
  Reply control(const SetupPacket& setup, std::span<const std::uint8_t> data);
  Reply descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t interface) const;
  // Sets the pins from a pin report's port bytes and tells the listener.
  void set_pins(std::span<const std::uint8_t> data);

  std::string serial_;
  const platform::IowarriorModel& model_;
  std::vector<std::uint8_t> ports_;
  struct Pending {
    std::uint32_t seqnum;
    std::uint32_t ep;
  };
  std::list<Pending> pending_;
  std::function<void(std::uint8_t, std::span<const std::uint8_t>)> pins_;
  std::function<void()> opened_;
  std::function<void()> closed_;
};

}  // namespace usbip

#include "sim/usbip/iow24_device.hpp"

#include <algorithm>
#include <array>

namespace usbip {
namespace {

constexpr std::uint16_t kVendor = 0x07C0;
constexpr std::uint16_t kProduct = 0x1501;  // IO-Warrior 24
constexpr std::uint16_t kRevision = 0x1021;
// Interrupt-IN endpoints: 1 on interface 0 (the pins, 2 bytes), 2 on interface 1 (8 bytes).
constexpr std::uint32_t kPinsEndpoint = 1;
constexpr std::uint8_t kPinsReportSize = 2;
constexpr std::uint8_t kSpecialReportSize = 8;

// Standard and HID requests (USB 1.1 chapter 9, HID 1.11 section 7.2).
constexpr std::uint8_t kGetStatus = 0x00, kGetDescriptor = 0x06, kSetConfiguration = 0x09, kSetInterface = 0x0B;
constexpr std::uint8_t kHidGetReport = 0x01, kHidSetReport = 0x09, kHidSetIdle = 0x0A;
// bmRequestType: direction, type (standard or class) and recipient.
constexpr std::uint8_t kStandardToDevice = 0x00, kStandardToInterface = 0x01;
constexpr std::uint8_t kStandardFromDevice = 0x80, kStandardFromInterface = 0x81;
constexpr std::uint8_t kClassToInterface = 0x21, kClassFromInterface = 0xA1;
// Descriptor types.
constexpr std::uint8_t kDevice = 1, kConfiguration = 2, kString = 3, kHid = 0x21, kHidReport = 0x22;
// SET_REPORT's report type in the high byte of wValue.
constexpr std::uint8_t kOutputReport = 2;

std::uint8_t Lo(unsigned value) { return static_cast<std::uint8_t>(value & 0xFF); }
std::uint8_t Hi(unsigned value) { return static_cast<std::uint8_t>(value >> 8); }

// Vendor-defined report of `size` bytes in and out, no report ID.
std::vector<std::uint8_t> ReportDescriptor(std::uint8_t size) {
  return {0x06, 0x00, 0xFF,  // usage page: vendor defined
          0x09, 0x01,        // usage 1
          0xA1, 0x01,        // collection: application
          0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,  // bytes 0 to 255
          0x95, size, 0x09, 0x01, 0x81, 0x02,        // input report
          0x95, size, 0x09, 0x01, 0x91, 0x02,        // output report
          0xC0};
}

std::vector<std::uint8_t> DeviceDescriptor() {
  return {18, kDevice, Lo(0x0110), Hi(0x0110), 0, 0, 0, 8,  // USB 1.1, endpoint 0 of 8 bytes (low speed)
          Lo(kVendor), Hi(kVendor), Lo(kProduct), Hi(kProduct), Lo(kRevision), Hi(kRevision),
          1, 2, 3, 1};  // manufacturer, product, serial strings; one configuration
}

void AppendInterface(std::vector<std::uint8_t>& out, std::uint8_t number, std::uint8_t endpoint, std::uint8_t size) {
  const auto report_length = static_cast<unsigned>(ReportDescriptor(size).size());
  const std::array<std::uint8_t, 25> bytes = {
      9, 4, number, 0, 1, 3, 0, 0, 0,                                     // interface: one endpoint, HID
      9, kHid, 0x10, 0x01, 0, 1, kHidReport, Lo(report_length), Hi(report_length),
      7, 5, static_cast<std::uint8_t>(0x80 | endpoint), 3, size, 0, 10};  // interrupt IN, every 10 ms
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> ConfigurationDescriptor() {
  std::vector<std::uint8_t> out = {9, kConfiguration, 0, 0, 2, 1, 0, 0x80, 50};  // two interfaces, bus powered, 100 mA
  AppendInterface(out, 0, kPinsEndpoint, kPinsReportSize);
  AppendInterface(out, 1, 2, kSpecialReportSize);
  out[2] = Lo(static_cast<unsigned>(out.size()));
  out[3] = Hi(static_cast<unsigned>(out.size()));
  return out;
}

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
  std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(2 + 2 * text.size()), kString};
  for (const char c : text) {
    out.push_back(static_cast<std::uint8_t>(c));
    out.push_back(0);
  }
  return out;
}

std::vector<std::uint8_t> Message(Header header, std::span<const std::uint8_t> data) {
  const auto bytes = Serialize(header);
  std::vector<std::uint8_t> out(kHeaderSize + data.size());
  std::copy(bytes.begin(), bytes.end(), out.begin());
  std::copy(data.begin(), data.end(), out.begin() + static_cast<long>(kHeaderSize));
  return out;
}

}  // namespace

std::vector<std::uint8_t> Iow24ReportDescriptor(int interface) {
  return ReportDescriptor(interface == 0 ? kPinsReportSize : kSpecialReportSize);
}

Iow24Device::Iow24Device(std::string serial) : serial_(std::move(serial)) {}

std::vector<std::vector<std::uint8_t>> Iow24Device::handle(const Header& command, std::span<const std::uint8_t> data) {
  Header ret;
  ret.seqnum = command.seqnum;
  ret.devid = command.devid;
  if (command.command == Command::kCmdUnlink) {
    ret.command = Command::kRetUnlink;
    const auto found = std::find_if(pending_.begin(), pending_.end(),
                                    [&](const Pending& p) { return p.seqnum == command.unlink_seqnum; });
    // A URB already answered cannot be cancelled any more: status 0.
    ret.status = found == pending_.end() ? kStatusOk : kStatusUnlinked;
    if (found != pending_.end()) {
      const bool pins = found->ep == kPinsEndpoint;
      pending_.erase(found);
      if (pins && closed_) closed_();
    }
    return {Message(ret, {})};
  }
  if (command.command != Command::kCmdSubmit) return {};
  ret.command = Command::kRetSubmit;
  if (command.ep != 0) {
    if (command.direction == kDirIn) {
      const bool pins = command.ep == kPinsEndpoint;
      const bool was_listening = std::any_of(pending_.begin(), pending_.end(),
                                             [](const Pending& p) { return p.ep == kPinsEndpoint; });
      pending_.push_back({command.seqnum, command.ep});
      if (pins && !was_listening && opened_) opened_();
      return {};
    }
    ret.status = kStatusStall;  // no OUT endpoints
    return {Message(ret, {})};
  }
  Reply reply = control(ParseSetup(command.setup), data);
  if (command.direction == kDirIn) {
    const auto room = static_cast<std::size_t>(std::max(command.transfer_buffer_length, 0));
    if (reply.data.size() > room) reply.data.resize(room);
  } else if (reply.status == kStatusOk) {
    reply.data.clear();
    ret.actual_length = static_cast<std::int32_t>(data.size());
  }
  ret.status = reply.status;
  if (command.direction == kDirIn) ret.actual_length = static_cast<std::int32_t>(reply.data.size());
  return {Message(ret, reply.data)};
}

Iow24Device::Reply Iow24Device::control(const SetupPacket& setup, std::span<const std::uint8_t> data) {
  const bool standard_in = setup.request_type == kStandardFromDevice || setup.request_type == kStandardFromInterface;
  if (standard_in && setup.request == kGetDescriptor) return descriptor(Hi(setup.value), Lo(setup.value), setup.index);
  if (standard_in && setup.request == kGetStatus) return {kStatusOk, {0, 0}};
  if (setup.request_type == kStandardToDevice && setup.request == kSetConfiguration) return {};
  if (setup.request_type == kStandardToInterface && setup.request == kSetInterface && setup.value == 0) return {};
  if (setup.request_type == kClassToInterface && setup.request == kHidSetIdle) return {};
  if (setup.request_type == kClassFromInterface && setup.request == kHidGetReport && setup.index == 0) {
    return {kStatusOk, {port0_, port1_}};
  }
  if (setup.request_type == kClassToInterface && setup.request == kHidSetReport && Hi(setup.value) == kOutputReport) {
    if (setup.index == 0 && data.size() == kPinsReportSize) {
      port0_ = data[0];
      port1_ = data[1];
      if (pins_) pins_(Lo(setup.value), port0_, port1_);
      return {};
    }
    // Interface 1's special-mode reports are taken and have no effect here.
    if (setup.index == 1) return {};
  }
  return {kStatusStall, {}};
}

Iow24Device::Reply Iow24Device::descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t interface) const {
  switch (type) {
    case kDevice:
      return {kStatusOk, DeviceDescriptor()};
    case kConfiguration:
      return {kStatusOk, ConfigurationDescriptor()};
    case kString:
      if (index == 0) return {kStatusOk, {4, kString, 0x09, 0x04}};  // English (US)
      if (index == 1) return {kStatusOk, StringDescriptor("Code Mercenaries")};
      if (index == 2) return {kStatusOk, StringDescriptor("IOWarrior24")};
      if (index == 3) return {kStatusOk, StringDescriptor(serial_)};
      break;
    case kHid: {
      const auto config = ConfigurationDescriptor();
      const std::size_t at = interface == 0 ? 18 : 43;  // after each interface descriptor
      if (interface <= 1) return {kStatusOk, std::vector<std::uint8_t>(config.begin() + static_cast<long>(at),
                                                                       config.begin() + static_cast<long>(at) + 9)};
      break;
    }
    case kHidReport:
      if (interface <= 1) return {kStatusOk, Iow24ReportDescriptor(interface)};
      break;
    default:
      break;
  }
  return {kStatusStall, {}};
}

}  // namespace usbip

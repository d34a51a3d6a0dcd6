#include "sim/usbip/iow_device.hpp"

#include <algorithm>
#include <array>

namespace usbip {
namespace {

constexpr std::uint16_t kRevision = 0x1021;
// Endpoint numbers: 1 on interface 0 (the pins), 2 on interface 1 (the special modes);
// IN and, on the full-speed models, OUT.
constexpr std::uint32_t kPinsEndpoint = 1;
constexpr std::uint32_t kSpecialEndpoint = 2;
// The special modes' reports: 8 bytes on the low-speed models, 64 on the full-speed ones.
constexpr std::uint8_t kLowSpeedSpecialSize = 8;
constexpr std::uint8_t kFullSpeedSpecialSize = 64;

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

std::uint8_t SpecialSize(const platform::IowarriorModel& model) {
  return model.full_speed ? kFullSpeedSpecialSize : kLowSpeedSpecialSize;
}

// The report size of interface 0 (the pins) or 1 (the special modes).
std::uint8_t ReportSize(const platform::IowarriorModel& model, int interface) {
  return interface == 0 ? static_cast<std::uint8_t>(model.port_bytes) : SpecialSize(model);
}

std::vector<std::uint8_t> DeviceDescriptor(const platform::IowarriorModel& model) {
  const auto product = static_cast<std::uint16_t>(model.product);
  // Endpoint 0: 8 bytes on a low-speed device, 64 on a full-speed one.
  const std::uint8_t control_size = model.full_speed ? 64 : 8;
  return {18, kDevice, Lo(0x0110), Hi(0x0110), 0, 0, 0, control_size,  // USB 1.1
          Lo(platform::kIoWarriorVendorId), Hi(platform::kIoWarriorVendorId), Lo(product), Hi(product),
          Lo(kRevision), Hi(kRevision), 1, 2, 3, 1};  // manufacturer, product, serial strings; one configuration
}

std::vector<std::uint8_t> Endpoint(std::uint8_t address, unsigned size, std::uint8_t interval) {
  return {7, 5, address, 3, Lo(size), Hi(size), interval};  // interrupt
}

// Interface `number`: its interface, HID and endpoint descriptors. The full-speed models'
// pins endpoints are one byte longer than the pin report (room for its ID), so that
// IOW_GETINFO shows whether the driver takes the report size from the model, as it must
// on the IO-Warrior 56, whose wMaxPacketSize differs from its report size.
void AppendInterface(std::vector<std::uint8_t>& out, const platform::IowarriorModel& model, std::uint8_t number) {
  const std::uint8_t size = ReportSize(model, number);
  const auto report_length = static_cast<unsigned>(ReportDescriptor(size).size());
  const std::uint8_t endpoints = model.full_speed ? 2 : 1;
  const std::uint8_t endpoint = number == 0 ? kPinsEndpoint : kSpecialEndpoint;
  const std::vector<std::uint8_t> head = {9, 4, number, 0, endpoints, 3, 0, 0, 0,  // interface: HID
                                          9, kHid, 0x10, 0x01, 0, 1, kHidReport, Lo(report_length), Hi(report_length)};
  out.insert(out.end(), head.begin(), head.end());
  if (!model.full_speed) {
    const auto in = Endpoint(static_cast<std::uint8_t>(0x80 | endpoint), size, 10);  // every 10 ms
    out.insert(out.end(), in.begin(), in.end());
    return;
  }
  const unsigned packet = number == 0 ? size + 1u : size;
  const auto in = Endpoint(static_cast<std::uint8_t>(0x80 | endpoint), packet, 1);  // every 1 ms
  const auto out_endpoint = Endpoint(endpoint, packet, 1);
  out.insert(out.end(), in.begin(), in.end());
  out.insert(out.end(), out_endpoint.begin(), out_endpoint.end());
}

std::vector<std::uint8_t> ConfigurationDescriptor(const platform::IowarriorModel& model) {
  std::vector<std::uint8_t> out = {9, kConfiguration, 0, 0, 2, 1, 0, 0x80, 50};  // two interfaces, bus powered, 100 mA
  AppendInterface(out, model, 0);
  AppendInterface(out, model, 1);
  out[2] = Lo(static_cast<unsigned>(out.size()));
  out[3] = Hi(static_cast<unsigned>(out.size()));
  return out;
}

// Where interface `interface`'s HID descriptor lies in the configuration descriptor.
std::size_t HidDescriptorAt(const std::vector<std::uint8_t>& config, std::uint16_t interface) {
  for (std::size_t at = 0; at + 1 < config.size() && config[at] != 0; at += config[at]) {
    if (config[at + 1] == 4 && at + 2 < config.size() && config[at + 2] == interface) return at + config[at];
  }
  return config.size();
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

std::vector<std::uint8_t> IowReportDescriptor(const platform::IowarriorModel& model, int interface) {
  return ReportDescriptor(ReportSize(model, interface));
}

IowDevice::IowDevice(std::string serial, const platform::IowarriorModel& model)
    : serial_(std::move(serial)), model_(model), ports_(model.port_bytes, 0xFF) {}

void IowDevice::set_pins(std::span<const std::uint8_t> data) {
  std::copy_n(data.begin(), std::min(data.size(), ports_.size()), ports_.begin());
  if (pins_) pins_(0x00, data);
}

std::vector<std::vector<std::uint8_t>> IowDevice::handle(const Header& command, std::span<const std::uint8_t> data) {
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
    // The full-speed models' interrupt-OUT endpoints: the pins on interface 0; the
    // special modes' reports are taken and have no effect here.
    if (!model_.full_speed || (command.ep != kPinsEndpoint && command.ep != kSpecialEndpoint)) {
      ret.status = kStatusStall;
      return {Message(ret, {})};
    }
    if (command.ep == kPinsEndpoint) set_pins(data);
    ret.actual_length = static_cast<std::int32_t>(data.size());
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

IowDevice::Reply IowDevice::control(const SetupPacket& setup, std::span<const std::uint8_t> data) {
  const bool standard_in = setup.request_type == kStandardFromDevice || setup.request_type == kStandardFromInterface;
  if (standard_in && setup.request == kGetDescriptor) return descriptor(Hi(setup.value), Lo(setup.value), setup.index);
  if (standard_in && setup.request == kGetStatus) return {kStatusOk, {0, 0}};
  if (setup.request_type == kStandardToDevice && setup.request == kSetConfiguration) return {};
  if (setup.request_type == kStandardToInterface && setup.request == kSetInterface && setup.value == 0) return {};
  if (setup.request_type == kClassToInterface && setup.request == kHidSetIdle) return {};
  if (setup.request_type == kClassFromInterface && setup.request == kHidGetReport && setup.index == 0) {
    return {kStatusOk, ports_};
  }
  if (setup.request_type == kClassToInterface && setup.request == kHidSetReport && Hi(setup.value) == kOutputReport) {
    if (setup.index == 0 && data.size() == model_.port_bytes) {
      set_pins(data);
      return {};
    }
    // Interface 1's special-mode reports are taken and have no effect here.
    if (setup.index == 1) return {};
  }
  return {kStatusStall, {}};
}

IowDevice::Reply IowDevice::descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t interface) const {
  switch (type) {
    case kDevice:
      return {kStatusOk, DeviceDescriptor(model_)};
    case kConfiguration:
      return {kStatusOk, ConfigurationDescriptor(model_)};
    case kString:
      if (index == 0) return {kStatusOk, {4, kString, 0x09, 0x04}};  // English (US)
      if (index == 1) return {kStatusOk, StringDescriptor("Code Mercenaries")};
      if (index == 2) {
        std::string name(model_.name);
        name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
        name.erase(std::remove(name.begin(), name.end(), '-'), name.end());
        return {kStatusOk, StringDescriptor(name)};  // "IOWarrior24"
      }
      if (index == 3) return {kStatusOk, StringDescriptor(serial_)};
      break;
    case kHid: {
      const auto config = ConfigurationDescriptor(model_);
      const std::size_t at = HidDescriptorAt(config, interface);
      if (interface <= 1 && at + 9 <= config.size()) {
        return {kStatusOk, std::vector<std::uint8_t>(config.begin() + static_cast<long>(at),
                                                     config.begin() + static_cast<long>(at) + 9)};
      }
      break;
    }
    case kHidReport:
      if (interface <= 1) return {kStatusOk, IowReportDescriptor(model_, interface)};
      break;
    default:
      break;
  }
  return {kStatusStall, {}};
}

}  // namespace usbip

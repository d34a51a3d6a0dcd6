// Runs in the machine: an IO-Warrior (a 24 unless --iowarrior names another model) made
// with the kernel's /dev/uhid, for programs
// that reach it through the hid core and hidraw (Wine's HID stack among them). Both
// interfaces are uhid devices of their own on the USB bus, with the physical paths,
// report descriptors and serial number of the real chip; every output report of the
// pins interface goes to the emulated LED sign, and the log has the same events as the
// USB/IP emulator's, stamped with the machine's monotonic clock in milliseconds.
// SIGUSR1 unplugs the device (both uhid devices destroyed) and keeps the log open;
// SIGTERM or SIGINT unplugs it and ends.
// The pins interface's output report is the model's (report ID and its port bytes); a
// report of another length is logged with its length and reaches no pin.
// Usage: uhid-iow24 --log FILE [--serial DIGITS] [--iowarrior MODEL] [--port N]

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iowarrior_models.hpp"
#include "platform/system_clock.hpp"
#include "sim/event_log.hpp"
#include "sim/sign_emulator.hpp"
#include "sim/usbip/iow_device.hpp"

namespace {

constexpr std::uint16_t kBusUsb = 0x03;  // BUS_USB of linux/input.h
constexpr std::uint32_t kRevision = 0x1021;

volatile std::sig_atomic_t g_unplug = 0;
volatile std::sig_atomic_t g_end = 0;

void OnUnplug(int) { g_unplug = 1; }
void OnEnd(int) { g_end = 1; }

bool Send(int fd, const uhid_event& event) {
  return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

void CopyText(char* to, std::size_t size, std::string_view text) {
  std::memset(to, 0, size);
  std::memcpy(to, text.data(), std::min(size - 1, text.size()));
}

// One interface of the chip as a uhid device; -1 when /dev/uhid refuses it.
// `port`: the USB port the chip is plugged into, which tells several chips apart.
int CreateInterface(const platform::IowarriorModel& model, int port, int interface, const std::string& serial,
                    std::string& error) {
  const int fd = open("/dev/uhid", O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    error = std::string("/dev/uhid: ") + std::strerror(errno);
    return -1;
  }
  uhid_event event{};
  event.type = UHID_CREATE2;
  auto& create = event.u.create2;
  std::string product_name(model.name);
  product_name.erase(std::remove(product_name.begin(), product_name.end(), ' '), product_name.end());
  product_name.erase(std::remove(product_name.begin(), product_name.end(), '-'), product_name.end());
  CopyText(reinterpret_cast<char*>(create.name), sizeof create.name, "Code Mercenaries " + product_name);
  // As the USB core names a low-speed device's interface; winebus takes the interface
  // number from the end.
  CopyText(reinterpret_cast<char*>(create.phys), sizeof create.phys,
           "usb-0000:00:01.2-" + std::to_string(port) + "/input" + std::to_string(interface));
  CopyText(reinterpret_cast<char*>(create.uniq), sizeof create.uniq, serial);
  const auto descriptor = usbip::IowReportDescriptor(model, interface);
  create.rd_size = static_cast<std::uint16_t>(descriptor.size());
  std::memcpy(create.rd_data, descriptor.data(), descriptor.size());
  create.bus = kBusUsb;
  create.vendor = platform::kIoWarriorVendorId;
  create.product = model.product;
  create.version = kRevision;
  if (!Send(fd, event)) {
    error = std::string("UHID_CREATE2: ") + std::strerror(errno);
    close(fd);
    return -1;
  }
  return fd;
}

int Usage() {
  std::cerr << "usage: uhid-iow24 --log FILE [--serial DIGITS] [--iowarrior 24|28|28L|40|56|100] [--port N]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string log_path;
  std::string serial = "00001A2B";
  const platform::IowarriorModel* model = &platform::IowarriorModels().front();
  int port = 1;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--log") == 0 && has_value) {
      log_path = argv[++i];
    } else if (std::strcmp(argv[i], "--serial") == 0 && has_value) {
      serial = argv[++i];
    } else if (std::strcmp(argv[i], "--iowarrior") == 0 && has_value) {
      model = platform::FindIowarriorModelByOption(argv[++i]);
      if (model == nullptr) return Usage();
    } else if (std::strcmp(argv[i], "--port") == 0 && has_value) {
      port = std::atoi(argv[++i]);
      if (port < 1 || port > 15) return Usage();
    } else {
      return Usage();
    }
  }
  if (log_path.empty()) return Usage();
  std::ofstream file(log_path, std::ios::app);
  if (!file) {
    std::cerr << "uhid-iow24: cannot write " << log_path << '\n';
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnUnplug;
  sigaction(SIGUSR1, &action, nullptr);
  action.sa_handler = OnEnd;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);

  platform::SystemClock clock;
  sim::EventLog log(clock, file);
  const auto record = [&](std::string_view event, const std::string& args) {
    log.record(event, args);
    log.flush();
  };
  sim::SignEmulator sign;
  sign.on_finished([&](const std::string& text) { record("sign", text); });

  std::array<int, 2> fds{-1, -1};
  for (int interface = 0; interface < 2; ++interface) {
    std::string error;
    int& fd = fds[static_cast<std::size_t>(interface)];
    fd = CreateInterface(*model, port, interface, serial, error);
    if (fd < 0) {
      std::cerr << "uhid-iow24: interface " << interface << ": " << error << '\n';
      return 1;
    }
  }
  std::vector<std::uint8_t> ports(model->port_bytes, 0xFF);
  // The pin report as the hid core hands it on: report ID 0 first, then the port bytes.
  const auto pins = [&](std::span<const std::uint8_t> data) {
    const iow::TimePoint at = clock.now();
    if (data.size() != model->port_bytes + 1u) {
      record("write", "0 " + sim::HexBytes(data) + " (" + std::to_string(data.size()) + " bytes)");
      return;
    }
    record("write", "0 " + sim::HexBytes(data));
    ports.assign(data.begin() + 1, data.end());
    sign.on_report(at, data);
  };

  while (g_end == 0) {
    if (g_unplug != 0 && fds[0] >= 0) {
      for (int& fd : fds) {
        uhid_event event{};
        event.type = UHID_DESTROY;
        Send(fd, event);
        close(fd);
        fd = -1;
      }
      record("unplug", "1");
    }
    if (fds[0] < 0) {
      pause();
      continue;
    }
    std::array<pollfd, 2> polled{{{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}}};
    if (poll(polled.data(), polled.size(), -1) < 0) continue;  // a signal
    for (int interface = 0; interface < 2; ++interface) {
      const int fd = fds[static_cast<std::size_t>(interface)];
      if ((polled[static_cast<std::size_t>(interface)].revents & POLLIN) == 0) continue;
      uhid_event event{};
      if (read(fd, &event, sizeof event) <= 0) continue;
      uhid_event reply{};
      switch (event.type) {
        case UHID_OPEN:
          if (interface == 0) record("open", "1");
          break;
        case UHID_CLOSE:
          if (interface == 0) record("close", "1");
          break;
        case UHID_OUTPUT: {
          const std::span<const std::uint8_t> data(event.u.output.data, event.u.output.size);
          if (interface == 0) {
            pins(data);
          } else {
            record("write", "1 " + sim::HexBytes(data));
          }
          break;
        }
        case UHID_GET_REPORT:
          // The pins read back as last set; the special modes have nothing to report.
          reply.type = UHID_GET_REPORT_REPLY;
          reply.u.get_report_reply.id = event.u.get_report.id;
          reply.u.get_report_reply.err = 0;
          if (interface == 0) {
            reply.u.get_report_reply.size = static_cast<std::uint16_t>(ports.size() + 1);
            reply.u.get_report_reply.data[0] = event.u.get_report.rnum;
            std::copy(ports.begin(), ports.end(), reply.u.get_report_reply.data + 1);
          } else {
            reply.u.get_report_reply.size = 9;
          }
          Send(fd, reply);
          break;
        case UHID_SET_REPORT: {
          // A report sent on the control pipe (HidD_SetOutputReport) sets the pins too.
          const std::span<const std::uint8_t> data(event.u.set_report.data, event.u.set_report.size);
          if (interface == 0 && event.u.set_report.rtype == UHID_OUTPUT_REPORT) {
            pins(data);
          } else {
            record("set-report", std::to_string(interface) + " " + sim::HexBytes(data));
          }
          reply.type = UHID_SET_REPORT_REPLY;
          reply.u.set_report_reply.id = event.u.set_report.id;
          reply.u.set_report_reply.err = 0;
          Send(fd, reply);
          break;
        }
        default:
          break;
      }
    }
  }
  for (const int fd : fds) {
    if (fd < 0) continue;
    uhid_event event{};
    event.type = UHID_DESTROY;
    Send(fd, event);
    close(fd);
  }
  return 0;
}

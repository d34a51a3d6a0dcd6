// lumatext-iow24: an emulated IO-Warrior (a 24 unless --iowarrior names another model)
// behind a USB/IP unix socket, for a virtual machine whose kernel drives it with its own
// iowarrior driver. Every pin report goes
// to the emulated LED sign; the log has the same events as lumatext-sim's, stamped
// with this machine's monotonic clock in milliseconds since the emulator started.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/unix_socket.hpp"
#include "platform/system_clock.hpp"
#include "sim/event_log.hpp"
#include "sim/sign_emulator.hpp"
#include "sim/usbip/iow_device.hpp"
#include "sim/usbip/usbip_server.hpp"

namespace {

// Monotonic time since the emulator started.
class SinceStart final : public iow::Clock {
 public:
  iow::TimePoint now() override { return iow::TimePoint{} + (base_.now() - start_); }
  void sleep_until(iow::TimePoint deadline) override { base_.sleep_until(start_ + deadline.time_since_epoch()); }
  double time_of_day() override { return base_.time_of_day(); }

 private:
  platform::SystemClock base_;
  iow::TimePoint start_ = base_.now();
};

class Stream final : public usbip::ByteStream {
 public:
  explicit Stream(platform::lnx::UnixConnection& connection) : connection_(connection) {}
  bool read_exact(std::span<std::uint8_t> buffer) override {
    return connection_.read_exact(buffer.data(), buffer.size());
  }
  bool write_all(std::span<const std::uint8_t> bytes) override {
    return connection_.write_all(bytes.data(), bytes.size());
  }

 private:
  platform::lnx::UnixConnection& connection_;
};

int Usage() {
  std::cerr << "usage: lumatext-iow24 --socket PATH [--log FILE] [--serial DIGITS] [--iowarrior 24|28|28L|40|56|100]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string socket_path;
  std::string log_path;
  std::string serial = "00001A2B";
  const platform::IowarriorModel* model = &platform::IowarriorModels().front();
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (std::strcmp(argv[i], "--socket") == 0 && has_value) {
      socket_path = argv[++i];
    } else if (std::strcmp(argv[i], "--log") == 0 && has_value) {
      log_path = argv[++i];
    } else if (std::strcmp(argv[i], "--serial") == 0 && has_value) {
      serial = argv[++i];
    } else if (std::strcmp(argv[i], "--iowarrior") == 0 && has_value) {
      model = platform::FindIowarriorModelByOption(argv[++i]);
      if (model == nullptr) return Usage();
    } else {
      return Usage();
    }
  }
  if (socket_path.empty()) return Usage();
  std::ofstream file;
  if (!log_path.empty()) {
    file.open(log_path);
    if (!file) {
      std::cerr << "lumatext-iow24: cannot write " << log_path << '\n';
      return 1;
    }
  }
  std::ostream& out = log_path.empty() ? std::cout : file;

  SinceStart clock;
  sim::EventLog log(clock, out);
  // The log is followed while the device runs: every event reaches the file at once.
  const auto record = [&](std::string_view event, const std::string& args) {
    log.record(event, args);
    log.flush();
  };
  sim::SignEmulator sign;
  sign.on_finished([&](const std::string& text) { record("sign", text); });
  usbip::IowDevice device(serial, *model);
  device.on_open([&] { record("open", "1"); });
  device.on_close([&] { record("close", "1"); });
  device.on_pins([&](std::uint8_t id, std::span<const std::uint8_t> ports) {
    // Stamped as the report arrives, before anything else is done with it.
    const iow::TimePoint at = clock.now();
    std::vector<std::uint8_t> report{id};
    report.insert(report.end(), ports.begin(), ports.end());
    record("write", "0 " + sim::HexBytes(report));
    sign.on_report(at, report);
  });

  std::string error;
  const auto connection = platform::lnx::UnixConnection::AcceptOne(socket_path, error);
  if (!connection) {
    std::cerr << "lumatext-iow24: " << error << '\n';
    return 1;
  }
  Stream stream(*connection);
  error = usbip::Serve(stream, device);
  if (!error.empty()) {
    std::cerr << "lumatext-iow24: " << error << '\n';
    return 1;
  }
  return 0;
}

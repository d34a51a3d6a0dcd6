#include "platform/linux/linux_iowkit.hpp"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "platform/diagnostics.hpp"
#include "platform/iowarrior_models.hpp"

namespace platform::lnx {
namespace {

constexpr std::string_view kNodePrefix = "iowarrior";
// The only pipe this driver route offers: the pin report.
constexpr std::uint32_t kPinsPipe = 0;

// N of "iowarrior<N>"; nothing for any other name.
std::optional<unsigned long> NodeNumber(const std::string& name) {
  if (name.size() <= kNodePrefix.size() || !name.starts_with(kNodePrefix)) return std::nullopt;
  const std::string digits = name.substr(kNodePrefix.size());
  if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoul(digits);
}

}  // namespace

std::vector<std::string> IowarriorNodeNames(DeviceFiles& files, const std::string& directory) {
  std::vector<std::pair<unsigned long, std::string>> nodes;
  for (const std::string& name : files.list(directory)) {
    if (const auto number = NodeNumber(name)) nodes.emplace_back(*number, name);
  }
  std::sort(nodes.begin(), nodes.end());
  std::vector<std::string> names;
  for (auto& node : nodes) names.push_back(std::move(node.second));
  return names;
}

LinuxIowKit::LinuxIowKit(DeviceFiles& files, std::string directory)
    : files_(files), directory_(std::move(directory)) {}

LinuxIowKit::~LinuxIowKit() {
  if (fd_ >= 0) files_.close(fd_);
}

iow::IowKitHandle LinuxIowKit::open_device() {
  if (fd_ >= 0) return 0;
  std::string reason = "kein Knoten " + directory_ + "/iowarrior* (IO-Warrior angesteckt, Modul iowarrior geladen?)";
  for (const std::string& name : IowarriorNodeNames(files_, directory_)) {
    const std::string path = directory_ + "/" + name;
    const int fd = files_.open(path);
    if (fd < 0) {
      reason = path + ": " + std::strerror(-fd);
      continue;
    }
    IowarriorInfo info;
    if (const int error = files_.get_info(fd, info); error != 0) {
      reason = path + ": IOW_GETINFO: " + std::strerror(-error);
      files_.close(fd);
      continue;
    }
    if (info.if_num != kPinsInterface) {
      files_.close(fd);
      continue;
    }
    const PinReportFit fit = FitPinReport(info.product, info.report_size);
    if (!fit.usable) {
      reason = path + ": " + fit.note;
      files_.close(fd);
      continue;
    }
    if (!fit.note.empty()) Diagnostic("IowKitOpenDevice: " + path + ": " + fit.note);
    fd_ = fd;
    path_ = path;
    node_inode_ = files_.node_inode(fd);
    report_size_ = info.report_size;
    gone_ = false;
    // The descriptor itself may be 0; the handle never is.
    handle_ = static_cast<iow::IowKitHandle>(fd) + 1;
    failures_ = WriteFailureLog{};
    return handle_;
  }
  Diagnostic("IowKitOpenDevice: " + reason);
  return 0;
}

std::uint32_t LinuxIowKit::write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                                 std::uint32_t length) {
  std::uint32_t result = 0;
  if (handle == 0 || handle != handle_) {
    result = fail("kein offenes Ger\u00e4t zu diesem Handle");
  } else if (pipe != kPinsPipe) {
    result = fail("Pipe " + std::to_string(pipe) + " ist nicht die Pipe 0 der I/O-Pins");
  } else if (const auto pins = WidenPinReport({report, length}, report_size_); pins.empty()) {
    result = fail("Report von " + std::to_string(length) + " Bytes; " + path_ + " nimmt Report-ID 0 und " +
                  std::to_string(report_size_) + " Bytes");
  } else {
    const ssize_t written = files_.write(fd_, pins.data() + 1, report_size_);
    if (written < 0) {
      gone_ = gone_ || written == -ENODEV;
      result = fail("write(" + path_ + "): " + std::strerror(static_cast<int>(-written)));
    } else if (static_cast<std::uint32_t>(written) != report_size_) {
      result = fail("write(" + path_ + "): " + std::to_string(written) + " von " + std::to_string(report_size_) +
                    " Bytes geschrieben");
    } else {
      failures_.note(true, "IowKitWrite", {});
      result = length;
    }
  }
  return result;
}

std::uint32_t LinuxIowKit::fail(const std::string& why) {
  failures_.note(false, "IowKitWrite", why);
  return 0;
}

bool LinuxIowKit::gone(iow::IowKitHandle handle) {
  if (handle == 0 || handle != handle_) return false;
  gone_ = gone_ || files_.hung_up(fd_);
  return gone_;
}

void LinuxIowKit::close_device(iow::IowKitHandle handle) {
  if (handle == 0 || handle != handle_) return;
  files_.close(fd_);
  fd_ = -1;
  handle_ = 0;
}

}  // namespace platform::lnx

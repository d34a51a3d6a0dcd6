#include "platform/linux/device_files.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <linux/types.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/iowarrior_models.hpp"
#include "platform/sysfs_files.hpp"

namespace platform::lnx {
namespace {

// The iowarrior driver's info record and ioctl (include/linux/usb/iowarrior.h in the
// kernel sources; the header is not part of the kernel's user-space headers).
struct iowarrior_info {
  __u32 vendor;
  __u32 product;
  __u8 serial[9];
  __u32 revision;
  __u32 speed;
  __u32 power;
  __u32 if_num;
  __u32 report_size;
};
static_assert(sizeof(iowarrior_info) == 40);

// Magic 0xC0, "like COde Mercenaries", command 3.
constexpr unsigned long kIowGetInfo = _IOR(0xC0, 3, struct iowarrior_info);

namespace fs = std::filesystem;

// The pins report's size as the driver sets it: fixed by product ID on interface 0 of
// the full-speed models (the IOW56, IOW28, IOW28L and IOW100), else the size of the
// interface's interrupt-IN endpoint.
std::optional<std::uint32_t> ReportSize(const fs::path& interface, std::uint32_t product, std::uint32_t number) {
  if (const IowarriorModel* model = FindIowarriorModel(product); number == 0 && model && model->full_speed) {
    return model->port_bytes;
  }
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(interface, error)) {
    if (!entry.path().filename().string().starts_with("ep_")) continue;
    if (FirstLine(entry.path() / "type") == "Interrupt" && FirstLine(entry.path() / "direction") == "in") {
      return HexAttribute(entry.path() / "wMaxPacketSize");
    }
  }
  return std::nullopt;
}

}  // namespace

int IowarriorInfoFromSysfs(const std::string& interface_dir, IowarriorInfo& info) {
  const fs::path interface(interface_dir);
  const auto number = HexAttribute(interface / "bInterfaceNumber");
  const auto vendor = HexAttribute(interface / ".." / "idVendor");
  const auto product = HexAttribute(interface / ".." / "idProduct");
  if (!number || !vendor || *vendor != 0x07C0 || !product) return -ENOENT;
  const auto report_size = ReportSize(interface, *product, *number);
  if (!report_size) return -ENOENT;
  info.product = *product;
  info.if_num = *number;
  info.report_size = *report_size;
  // The driver's serial is the device's serial string, at most 8 characters.
  info.serial = FirstLine(interface / ".." / "serial").substr(0, 8);
  return 0;
}

std::vector<std::string> SystemDeviceFiles::list(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) names.emplace_back(entry->d_name);
  ::closedir(dir);
  return names;
}

int SystemDeviceFiles::open(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return fd >= 0 ? fd : -errno;
}

int SystemDeviceFiles::get_info(int fd, IowarriorInfo& info) {
  iowarrior_info raw{};
  if (::ioctl(fd, kIowGetInfo, &raw) != 0) {
    const int error = errno;
    // A 32-bit program on a 64-bit kernel: the same facts from the node's interface.
    struct stat node {};
    if (error == ENOTTY && ::fstat(fd, &node) == 0 && S_ISCHR(node.st_mode)) {
      const std::string interface = "/sys/dev/char/" + std::to_string(major(node.st_rdev)) + ":" +
                                    std::to_string(minor(node.st_rdev)) + "/device";
      if (IowarriorInfoFromSysfs(interface, info) == 0) return 0;
    }
    return -error;
  }
  info.product = raw.product;
  info.if_num = raw.if_num;
  info.report_size = raw.report_size;
  // NUL-terminated inside its 9 bytes; the copy stops at the array's end all the same.
  info.serial.clear();
  for (const __u8 c : raw.serial) {
    if (c == 0) break;
    info.serial.push_back(static_cast<char>(c));
  }
  return 0;
}

ssize_t SystemDeviceFiles::write(int fd, const std::uint8_t* data, std::size_t size) {
  for (;;) {
    const ssize_t written = ::write(fd, data, size);
    if (written >= 0) return written;
    if (errno != EINTR) return -errno;
  }
}

void SystemDeviceFiles::close(int fd) { ::close(fd); }

std::uint64_t SystemDeviceFiles::node_inode(int fd) {
  struct stat node {};
  return ::fstat(fd, &node) == 0 ? node.st_ino : 0;
}

bool SystemDeviceFiles::hung_up(int fd) {
  // No events asked for: poll reports only the conditions it always reports.
  pollfd entry{fd, 0, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace platform::lnx

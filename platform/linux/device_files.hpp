#pragma once
// The few file operations the IO-Warrior needs, behind a seam so that the node scan
// and the report framing can be tested without a device.

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::lnx {

// What the kernel's iowarrior driver reports of a node (IOW_GETINFO).
struct IowarriorInfo {
  std::uint32_t product = 0;
  std::uint32_t if_num = 0;       // 0: the I/O pins, 1: the special modes
  std::uint32_t report_size = 0;  // bytes a write takes, without the report ID
  std::string serial;             // the chip's serial number, 8 hex digits; empty when it has none
};

class DeviceFiles {
 public:
  virtual ~DeviceFiles() = default;
  // Names of the entries of `directory`; empty when it cannot be read.
  virtual std::vector<std::string> list(const std::string& directory) = 0;
  // Opens `path` for reading and writing; a descriptor, or -errno.
  virtual int open(const std::string& path) = 0;
  // IOW_GETINFO on `fd`; 0, or -errno.
  virtual int get_info(int fd, IowarriorInfo& info) = 0;
  // write(2): bytes written, or -errno.
  virtual ssize_t write(int fd, const std::uint8_t* data, std::size_t size) = 0;
  virtual void close(int fd) = 0;
  // Whether poll(2) reports `fd` hung up or in error without waiting: the iowarrior
  // driver does so once its device is gone.
  virtual bool hung_up(int /*fd*/) { return false; }
  // The inode of the node `fd` has open: a node made anew for a device plugged in again
  // has another one, though it may have the same name. 0 where it cannot be told.
  virtual std::uint64_t node_inode(int /*fd*/) { return 0; }
};

// What IOW_GETINFO would give, read from sysfs: `interface_dir` is the node's USB
// interface (/sys/dev/char/MAJOR:MINOR/device). For a 32-bit program on a 64-bit kernel,
// where the iowarrior driver refuses every ioctl (it has no compat_ioctl: ENOTTY).
// 0, or -ENOENT when the directory does not describe an IO-Warrior interface.
int IowarriorInfoFromSysfs(const std::string& interface_dir, IowarriorInfo& info);

// The real files.
class SystemDeviceFiles final : public DeviceFiles {
 public:
  std::vector<std::string> list(const std::string& directory) override;
  int open(const std::string& path) override;
  int get_info(int fd, IowarriorInfo& info) override;
  ssize_t write(int fd, const std::uint8_t* data, std::size_t size) override;
  void close(int fd) override;
  bool hung_up(int fd) override;
  std::uint64_t node_inode(int fd) override;
};

}  // namespace platform::lnx

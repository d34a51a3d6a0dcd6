#pragma once
// The IO-Warrior through the kernel's iowarrior driver: one node per USB interface,
// /dev/usb/iowarrior<N>; interface 0 carries the I/O pins.

#include <string>
#include <vector>

#include "platform/iow.hpp"
#include "platform/linux/device_files.hpp"
#include "platform/write_failure_log.hpp"

namespace platform::lnx {

// The interface of an IO-Warrior that drives the I/O pins.
inline constexpr std::uint32_t kPinsInterface = 0;

// The names "iowarrior<N>" in `directory`, in numeric order of N (iowarrior2 before
// iowarrior10); the order in which LinuxIowKit tries them.
std::vector<std::string> IowarriorNodeNames(DeviceFiles& files, const std::string& directory);

class LinuxIowKit final : public iow::IowKit {
 public:
  // Nodes are looked for in `directory`.
  explicit LinuxIowKit(DeviceFiles& files, std::string directory = "/dev/usb");
  ~LinuxIowKit() override;

  // Opens the first iowarrior node, in numeric order, whose interface is 0 and whose
  // pin report carries port 1 (FitPinReport, any model; a note on an unknown one as a
  // diagnostic); 0 when none can be opened, the reason reported as a diagnostic.
  iow::IowKitHandle open_device() override;
  // Pipe 0 only: widens the report to the model's pin report (every further port byte
  // 0xFF), sends it without its ID byte (the driver takes exactly its report size) and
  // returns `length`, 0 on failure. The first failure after a success is reported as
  // one diagnostic line.
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override;
  void close_device(iow::IowKitHandle handle) override;
  // Gone once a write failed with ENODEV or the node reports a hang-up (the driver's
  // poll does so from the moment its device is disconnected).
  bool gone(iow::IowKitHandle handle) override;

  // The open node's descriptor, for poll(2) to watch for POLLHUP/POLLERR; -1 when none is open.
  int watch_fd() const { return fd_; }
  // The handle open_device handed out for it; 0 when none is open.
  iow::IowKitHandle open_handle() const { return handle_; }
  // The inode of the node opened last (kept after it is closed); 0 before any.
  std::uint64_t last_node_inode() const { return node_inode_; }

 private:
  std::uint32_t fail(const std::string& why);

  DeviceFiles& files_;
  std::string directory_;
  std::string path_;
  int fd_ = -1;
  iow::IowKitHandle handle_ = 0;
  std::uint32_t report_size_ = 0;
  std::uint64_t node_inode_ = 0;
  bool gone_ = false;
  WriteFailureLog failures_;
};

}  // namespace platform::lnx

#pragma once
// The IO-Warrior library on Windows: the IO-Warrior is a plain HID device, reached
// through setupapi and hid.dll, both part of Windows.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/iow.hpp"
#include "platform/iowarrior_models.hpp"
#include "platform/write_failure_log.hpp"

namespace platform::windows {

// Whether the HID device path names the IO-Warrior's vendor ID ("vid_07c0").
bool IsIoWarriorPath(std::wstring_view device_path);

// Whether the HID interface at `device_path` carries the I/O pins (USB interface 0) and
// not the special modes (interface 1). The path names the interface ("&mi_00");
// where it does not, the pin report's size decides: report ID + the port bytes of the
// model the path names ("pid_1503"), or of an IO-Warrior 24 or 40 for a model unknown.
bool IsPinsInterface(std::wstring_view device_path, std::uint16_t output_report_length);

// Device paths of all present HID interfaces, in the order setupapi lists them.
std::vector<std::wstring> HidDevicePaths();

// Whether a HID write or read that failed with `code` means the device is gone (removed,
// or reset and re-enumerated), not that it refused a report or was slow to answer.
bool IsDeviceGoneError(DWORD code);

// Whether the HID interface at `device_path` is still in the system's list of present
// HID interfaces (setupapi; letters compared without case). True when the list cannot be
// had: a device is never called lost on a guess.
bool IsInterfacePresent(std::wstring_view device_path);

// Whether a write that failed with `code` (WAIT_TIMEOUT for one that got no answer) means
// the device is lost: at once for a removed device's errors (IsDeviceGoneError), else
// exactly when `present` says its interface has left the system. Any other failure is a
// device that refused or stalled the report.
template <typename Present>
bool IsLostAfterFailedWrite(DWORD code, Present&& present) {
  return IsDeviceGoneError(code) || !present();
}

class HidIowKit final : public iow::IowKit {
 public:
  // `write_timeout`: how long a write may take before it counts as failed.
  explicit HidIowKit(std::chrono::milliseconds write_timeout = std::chrono::milliseconds{1000});
  ~HidIowKit() override;
  HidIowKit(const HidIowKit&) = delete;
  HidIowKit& operator=(const HidIowKit&) = delete;

  // Opens the first IO-Warrior pins interface whose pin report carries port 1
  // (FitPinReport, any model; a note on an unknown one as a diagnostic); 0 when none
  // can be opened, the reason reported as a diagnostic.
  iow::IowKitHandle open_device() override;
  // Pipe 0 only. The report goes out widened to the device's own output report length
  // (HidP_GetCaps), report ID first, every further port byte 0xFF. Returns `length`, 0
  // on failure; one diagnostic line on the first failure after a success (or after opening).
  std::uint32_t write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                      std::uint32_t length) override;
  void close_device(iow::IowKitHandle handle) override;
  // Gone once a write failed and the device is lost (IsLostAfterFailedWrite), a look
  // (look_for_device) found its interface missing, or the read kept pending on the pins
  // interface ended with a removed device's error. Input reports that arrive meanwhile
  // are read and dropped.
  bool gone(iow::IowKitHandle handle) override;
  // Looks whether the device's interface is still present (IsInterfacePresent); it is
  // gone from then on when not. A wait that cannot count on the pending read (Wine never
  // ends it when the device goes) looks this way about once a second.
  bool look_for_device(iow::IowKitHandle handle);

  // The handle open_device handed out last; 0 when none is open.
  iow::IowKitHandle last_opened() const { return last_opened_; }
  // An event that is signalled when the pending read on `handle` ends (an input report,
  // or the device's removal): call gone() then. Null when no read is pending.
  HANDLE watch_event(iow::IowKitHandle handle) const;

 private:
  struct Device;

  // Keeps a read pending on `device`, reading and dropping the input reports waiting.
  static void KeepReadPending(Device& device);
  // After a write that failed with `code`: the device is gone when it is lost.
  static void NoteFailedWrite(Device& device, DWORD code);

  std::chrono::milliseconds write_timeout_;
  std::map<iow::IowKitHandle, std::unique_ptr<Device>> devices_;
  iow::IowKitHandle last_opened_ = 0;
  WriteFailureLog failures_;
};

}  // namespace platform::windows

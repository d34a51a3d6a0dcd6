#pragma once
// One lumatext per IO-Warrior: a named mutex per device in the Global namespace, held
// from opening the device to closing it, so that the service and a user's window, or
// two windows, never type into one sign at once. Windows' HID class also honours the
// exclusive open of the pins interface; Wine's does not, the guard holds in both.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace platform::windows {

// The mutex's name for the device called `key`: "Global\lumatext-iowarrior-" and the
// key in lower case, its backslashes made '#' (a name holds no further backslash).
std::wstring DeviceGuardName(std::wstring_view key);

// The key of the HID interface at `path`: vendor, product and serial number where the
// device reports a serial, else the path itself.
std::wstring DeviceGuardKey(const std::wstring& path);

class DeviceGuard {
 public:
  // Takes the guard of the device called `key`; nothing, with `error` set, when another
  // program (or thread) holds it or the mutex cannot be made. An owner that ended
  // without letting go leaves it free.
  static std::optional<DeviceGuard> Take(std::wstring_view key, std::string& error);

  DeviceGuard(DeviceGuard&& other) noexcept : mutex_(other.mutex_) { other.mutex_ = nullptr; }
  // The guard held before goes with `other`.
  DeviceGuard& operator=(DeviceGuard&& other) noexcept {
    std::swap(mutex_, other.mutex_);
    return *this;
  }
  DeviceGuard(const DeviceGuard&) = delete;
  DeviceGuard& operator=(const DeviceGuard&) = delete;
  // Lets go; on the thread that took it.
  ~DeviceGuard();

 private:
  explicit DeviceGuard(HANDLE mutex) : mutex_(mutex) {}
  HANDLE mutex_;
};

}  // namespace platform::windows

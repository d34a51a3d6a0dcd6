#include "platform/windows/hid/device_guard.hpp"

#include <sddl.h>

#include <cwctype>

extern "C" {
#include <hidsdi.h>
}

#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

// SYSTEM (the service), administrators (the window, which runs elevated) and every
// signed-in user may open and take the mutex: each must see the others' hold.
constexpr wchar_t kGuardAccess[] = L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;AU)";

// The longest serial number string the HID class hands out, in characters.
constexpr ULONG kSerialChars = 127;

}  // namespace

std::wstring DeviceGuardName(std::wstring_view key) {
  std::wstring name = L"Global\\lumatext-iowarrior-";
  for (const wchar_t c : key) {
    name += c == L'\\' ? L'#' : static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  }
  return name;
}

std::wstring DeviceGuardKey(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return path;
  std::wstring key = path;
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  wchar_t serial[kSerialChars + 1] = {};
  if (HidD_GetAttributes(file, &attributes) && HidD_GetSerialNumberString(file, serial, sizeof serial - sizeof(wchar_t)) &&
      serial[0] != L'\0') {
    wchar_t ids[16];
    swprintf(ids, 16, L"%04x-%04x-", attributes.VendorID, attributes.ProductID);
    key = std::wstring(ids) + serial;
  }
  CloseHandle(file);
  return key;
}

std::optional<DeviceGuard> DeviceGuard::Take(std::wstring_view key, std::string& error) {
  const std::wstring name = DeviceGuardName(key);
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kGuardAccess, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr)) {
    error = "ConvertStringSecurityDescriptorToSecurityDescriptor: " + LastErrorText();
    return std::nullopt;
  }
  HANDLE mutex = CreateMutexW(&attributes, FALSE, name.c_str());
  const DWORD create_error = GetLastError();
  LocalFree(attributes.lpSecurityDescriptor);
  if (mutex == nullptr) {
    error = "CreateMutex " + Narrow(name) + ": " + ErrorText(create_error);
    return std::nullopt;
  }
  switch (WaitForSingleObject(mutex, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      return DeviceGuard(mutex);
    case WAIT_TIMEOUT:
      error = "von einem anderen Programm belegt (ein anderes lumatext steuert es schon: " + Narrow(name) + ")";
      break;
    default:
      error = "WaitForSingleObject " + Narrow(name) + ": " + LastErrorText();
      break;
  }
  CloseHandle(mutex);
  return std::nullopt;
}

DeviceGuard::~DeviceGuard() {
  if (mutex_ == nullptr) return;
  ReleaseMutex(mutex_);
  CloseHandle(mutex_);
}

}  // namespace platform::windows

#include "platform/windows/hid/hid_iowkit.hpp"

#include <setupapi.h>

#include <algorithm>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <hidsdi.h>
}

#include "platform/diagnostics.hpp"
#include "platform/windows/hid/device_guard.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {

// An open pins interface: its guard, its file, opened for overlapped writes, and the
// event that tells when a write has finished; and a read kept pending, which ends with
// an error when the device is removed. The guard is let go after the file closes.
struct HidIowKit::Device {
  std::optional<DeviceGuard> guard;
  std::wstring path;
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE written = nullptr;
  std::uint16_t report_length = 0;
  std::vector<std::uint8_t> buffer;
  HANDLE arrived = nullptr;
  OVERLAPPED reading{};
  std::vector<std::uint8_t> input;
  bool read_pending = false;
  bool gone = false;

  ~Device() {
    if (read_pending) {
      // The read's buffer and OVERLAPPED must outlive it.
      CancelIoEx(file, &reading);
      DWORD ignored = 0;
      GetOverlappedResult(file, &reading, &ignored, TRUE);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (written != nullptr) CloseHandle(written);
    if (arrived != nullptr) CloseHandle(arrived);
  }
};

namespace {

std::wstring Lower(std::wstring_view text) {
  std::wstring lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c))); });
  return lower;
}

// What the HID driver tells of one interface, or nothing when it cannot be asked.
struct HidInterface {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t output_report_length = 0;
  std::uint16_t input_report_length = 0;
};

// What the HID driver tells of the interface at `path`; nothing, with `error` set, when
// it cannot be asked.
std::optional<HidInterface> Describe(const std::wstring& path, std::string& error) {
  // No access rights are needed to read attributes, so devices others hold open answer too.
  HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "CreateFile: " + LastErrorText();
    return std::nullopt;
  }
  std::optional<HidInterface> result;
  HIDD_ATTRIBUTES attributes{};
  attributes.Size = sizeof attributes;
  PHIDP_PREPARSED_DATA preparsed = nullptr;
  if (!HidD_GetAttributes(file, &attributes)) {
    error = "HidD_GetAttributes: " + LastErrorText();
  } else if (!HidD_GetPreparsedData(file, &preparsed)) {
    error = "HidD_GetPreparsedData: " + LastErrorText();
  } else {
    HIDP_CAPS caps{};
    if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) {
      result = HidInterface{attributes.VendorID, attributes.ProductID, caps.OutputReportByteLength,
                            caps.InputReportByteLength};
    } else {
      error = "HidP_GetCaps fehlgeschlagen";
    }
    HidD_FreePreparsedData(preparsed);
  }
  CloseHandle(file);
  return result;
}

// Device paths of all present HID interfaces; nothing when setupapi gives no list.
std::optional<std::vector<std::wstring>> ListHidDevicePaths() {
  GUID hid_guid{};
  HidD_GetHidGuid(&hid_guid);
  HDEVINFO set = SetupDiGetClassDevsW(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::wstring> paths;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hid_guid, index, &data); ++index) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) continue;
    std::vector<std::uint8_t> storage(size);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (SetupDiGetDeviceInterfaceDetailW(set, &data, detail, size, nullptr, nullptr)) {
      paths.emplace_back(detail->DevicePath);
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return paths;
}

}  // namespace

std::vector<std::wstring> HidDevicePaths() { return ListHidDevicePaths().value_or(std::vector<std::wstring>{}); }

bool IsInterfacePresent(std::wstring_view device_path) {
  // Windows takes a removed device's interfaces out of the present list (the PnP manager
  // disables them); Wine does so when its HID bus hears of the removal.
  const auto paths = ListHidDevicePaths();
  if (!paths) return true;
  const std::wstring wanted = Lower(device_path);
  return std::any_of(paths->begin(), paths->end(), [&](const std::wstring& path) { return Lower(path) == wanted; });
}

// "A device which does not exist was specified"; missing from MinGW's headers.
constexpr DWORD kErrorNoSuchDevice = 433;

bool IsDeviceGoneError(DWORD code) {
  switch (code) {
    case ERROR_DEVICE_NOT_CONNECTED:  // 1167: the HID stack's answer once the device is removed
    case ERROR_BAD_COMMAND:           // 22: hid.dll's answer on a handle whose device was removed
    case kErrorNoSuchDevice:          // 433
    case ERROR_DEV_NOT_EXIST:         // 55
    case ERROR_FILE_NOT_FOUND:        // 2: the device's file is gone
    case ERROR_INVALID_HANDLE:        // 6: the handle no longer names a device
      return true;
    default:
      // ERROR_GEN_FAILURE (31) is a device that stalls a report, and under Wine also a
      // removed one; a time-out is a slow device or a pulled one. Whether such a device
      // is gone, the list of present interfaces tells (IsLostAfterFailedWrite).
      return false;
  }
}

namespace {

// The product ID a HID device path names ("pid_1503"); nothing where it names none.
std::optional<std::uint32_t> ProductOfPath(const std::wstring& lower_path) {
  const std::size_t at = lower_path.find(L"pid_");
  if (at == std::wstring::npos || at + 8 > lower_path.size()) return std::nullopt;
  std::uint32_t product = 0;
  for (std::size_t i = at + 4; i < at + 8; ++i) {
    const wchar_t c = lower_path[i];
    const int digit = c >= L'0' && c <= L'9' ? c - L'0' : c >= L'a' && c <= L'f' ? c - L'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    product = product * 16 + static_cast<std::uint32_t>(digit);
  }
  return product;
}

}  // namespace

bool IsIoWarriorPath(std::wstring_view device_path) {
  return Lower(device_path).find(L"vid_07c0") != std::wstring::npos;
}

bool IsPinsInterface(std::wstring_view device_path, std::uint16_t output_report_length) {
  const std::wstring path = Lower(device_path);
  if (path.find(L"&mi_") != std::wstring::npos) return path.find(L"&mi_00") != std::wstring::npos;
  if (const auto product = ProductOfPath(path)) {
    if (const IowarriorModel* model = FindIowarriorModel(*product); model != nullptr && model->port_bytes != 0) {
      return output_report_length == model->port_bytes + 1;
    }
  }
  return output_report_length == 3 || output_report_length == 5;
}

HidIowKit::HidIowKit(std::chrono::milliseconds write_timeout) : write_timeout_(write_timeout) {}

HidIowKit::~HidIowKit() = default;

iow::IowKitHandle HidIowKit::open_device() {
  std::string why = "kein IO-Warrior (HID-Ger\u00e4t mit Hersteller-ID 0x07C0) angeschlossen";
  for (const std::wstring& path : HidDevicePaths()) {
    std::string error;
    const auto hid = Describe(path, error);
    if (!hid) {
      // The path still names the vendor: an IO-Warrior that cannot be asked is not a missing one.
      if (IsIoWarriorPath(path) && Lower(path).find(L"&mi_01") == std::wstring::npos) {
        why = "IO-Warrior " + Narrow(path) + ": Eigenschaften nicht lesbar: " + error;
      }
      continue;
    }
    if (hid->vendor_id != kIoWarriorVendorId || !IsPinsInterface(path, hid->output_report_length)) continue;
    // An output report without port bytes (length 0 or the ID alone) carries no port 1;
    // FitPinReport would take 0 port bytes for "not known".
    const PinReportFit fit = hid->output_report_length > 1
                                 ? FitPinReport(hid->product_id, hid->output_report_length - 1u)
                                 : PinReportFit{false, 0, "kein HID-Output-Report mit Port-Bytes"};
    if (!fit.usable) {
      why = "IO-Warrior " + Narrow(path) + ": " + fit.note;
      continue;
    }
    if (!fit.note.empty()) Diagnostic("IowKitOpenDevice: IO-Warrior " + Narrow(path) + ": " + fit.note);
    auto device = std::make_unique<Device>();
    std::string held;
    device->guard = DeviceGuard::Take(DeviceGuardKey(path), held);
    if (!device->guard) {
      why = "IO-Warrior " + Narrow(path) + ": " + held;
      continue;
    }
    // Exclusive: Windows' HID class then refuses every other program's open. Read access
    // for the read kept pending, which tells of the device's removal; without it the
    // device is still driven, and its loss noticed at the next write.
    device->file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
    if (device->file == INVALID_HANDLE_VALUE) {
      device->file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    } else {
      device->input.resize(hid->input_report_length);
    }
    if (device->file == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      why = "IO-Warrior " + Narrow(path) +
            (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED
                 ? std::string(" ist von einem anderen Programm belegt (") + ErrorText(code) + ")"
                 : ": CreateFile: " + ErrorText(code));
      continue;
    }
    device->written = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (device->written == nullptr) {
      why = "CreateEvent: " + LastErrorText();
      continue;
    }
    device->path = path;
    device->report_length = hid->output_report_length;
    device->arrived = device->input.empty() ? nullptr : CreateEventW(nullptr, TRUE, FALSE, nullptr);
    KeepReadPending(*device);
    const auto handle = reinterpret_cast<iow::IowKitHandle>(device->file);
    devices_[handle] = std::move(device);
    last_opened_ = handle;
    failures_ = WriteFailureLog{};
    return handle;
  }
  Diagnostic("IowKitOpenDevice: " + why);
  return 0;
}

std::uint32_t HidIowKit::write(iow::IowKitHandle handle, std::uint32_t pipe, const std::uint8_t* report,
                               std::uint32_t length) {
  const auto found = devices_.find(handle);
  if (found == devices_.end()) {
    failures_.note(false, "IowKitWrite", "kein offenes Ger\u00e4t zu diesem Handle");
    return 0;
  }
  if (pipe != 0) {
    failures_.note(false, "IowKitWrite", "Pipe " + std::to_string(pipe) + " ist nicht die Pipe 0 der I/O-Pins");
    return 0;
  }
  Device& device = *found->second;
  // The buffer must stay put until the overlapped write has finished.
  device.buffer = WidenPinReport({report, length}, device.report_length - 1u);
  if (device.buffer.empty()) {
    failures_.note(false, "IowKitWrite",
                   "Report von " + std::to_string(length) + " Bytes; das Ger\u00e4t nimmt " +
                       std::to_string(device.report_length) + " Bytes mit Report-ID 0");
    return 0;
  }
  OVERLAPPED overlapped{};
  overlapped.hEvent = device.written;
  ResetEvent(device.written);
  DWORD written = 0;
  if (!WriteFile(device.file, device.buffer.data(), device.report_length, nullptr, &overlapped)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      NoteFailedWrite(device, error);
      failures_.note(false, "IowKitWrite", "WriteFile: " + ErrorText(error));
      return 0;
    }
    if (WaitForSingleObject(device.written, static_cast<DWORD>(write_timeout_.count())) != WAIT_OBJECT_0) {
      CancelIoEx(device.file, &overlapped);
      GetOverlappedResult(device.file, &overlapped, &written, TRUE);
      NoteFailedWrite(device, WAIT_TIMEOUT);
      failures_.note(false, "IowKitWrite",
                     "WriteFile: keine Antwort innerhalb von " + std::to_string(write_timeout_.count()) + " ms");
      return 0;
    }
  }
  if (!GetOverlappedResult(device.file, &overlapped, &written, FALSE)) {
    const DWORD error = GetLastError();
    NoteFailedWrite(device, error);
    failures_.note(false, "IowKitWrite", "WriteFile: " + ErrorText(error));
    return 0;
  }
  failures_.note(true, "IowKitWrite", {});
  return length;
}

void HidIowKit::NoteFailedWrite(Device& device, DWORD code) {
  device.gone = device.gone || IsLostAfterFailedWrite(code, [&] { return IsInterfacePresent(device.path); });
}

void HidIowKit::close_device(iow::IowKitHandle handle) {
  devices_.erase(handle);
  if (handle == last_opened_) last_opened_ = 0;
}

void HidIowKit::KeepReadPending(Device& device) {
  if (device.arrived == nullptr) return;
  // Input reports come whenever a pin changes; read and drop those already waiting, a
  // bounded number, so that a chattering device cannot hold the program here.
  for (int waiting = 0; waiting < 64; ++waiting) {
    device.reading = OVERLAPPED{};
    device.reading.hEvent = device.arrived;
    ResetEvent(device.arrived);
    if (ReadFile(device.file, device.input.data(), static_cast<DWORD>(device.input.size()), nullptr,
                 &device.reading)) {
      continue;
    }
    const DWORD error = GetLastError();
    device.read_pending = error == ERROR_IO_PENDING;
    device.gone = device.gone || IsDeviceGoneError(error) || error == ERROR_OPERATION_ABORTED;
    return;
  }
  device.read_pending = false;
}

bool HidIowKit::gone(iow::IowKitHandle handle) {
  const auto found = devices_.find(handle);
  if (found == devices_.end()) return false;
  Device& device = *found->second;
  if (!device.gone && device.read_pending) {
    DWORD read = 0;
    if (GetOverlappedResult(device.file, &device.reading, &read, FALSE)) {
      device.read_pending = false;
      KeepReadPending(device);
    } else if (const DWORD error = GetLastError(); error != ERROR_IO_INCOMPLETE) {
      // Ended without a report: only a removed device ends the read so (the program
      // cancels it only when closing).
      device.read_pending = false;
      device.gone = IsDeviceGoneError(error) || error == ERROR_OPERATION_ABORTED;
    }
  }
  return device.gone;
}

bool HidIowKit::look_for_device(iow::IowKitHandle handle) {
  const auto found = devices_.find(handle);
  if (found == devices_.end()) return false;
  Device& device = *found->second;
  device.gone = device.gone || !IsInterfacePresent(device.path);
  return device.gone;
}

HANDLE HidIowKit::watch_event(iow::IowKitHandle handle) const {
  const auto found = devices_.find(handle);
  return found != devices_.end() && found->second->read_pending ? found->second->arrived : nullptr;
}

}  // namespace platform::windows

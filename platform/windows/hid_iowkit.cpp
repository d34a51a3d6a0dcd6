#include "platform/windows/hid_iowkit.hpp"

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
#include "platform/windows/utf16.hpp"
#include "platform/windows/win_error.hpp"

namespace platform::windows {

// An open pins interface: its file, opened for overlapped writes, and the event that
// tells when a write has finished.
struct HidIowKit::Device {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE written = nullptr;
  std::uint16_t report_length = 0;
  std::vector<std::uint8_t> buffer;

  ~Device() {
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (written != nullptr) CloseHandle(written);
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
      result = HidInterface{attributes.VendorID, attributes.ProductID, caps.OutputReportByteLength};
    } else {
      error = "HidP_GetCaps fehlgeschlagen";
    }
    HidD_FreePreparsedData(preparsed);
  }
  CloseHandle(file);
  return result;
}

}  // namespace

std::vector<std::wstring> HidDevicePaths() {
  std::vector<std::wstring> paths;
  GUID hid_guid{};
  HidD_GetHidGuid(&hid_guid);
  HDEVINFO set = SetupDiGetClassDevsW(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return paths;
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

bool IsIoWarriorPath(std::wstring_view device_path) {
  return Lower(device_path).find(L"vid_07c0") != std::wstring::npos;
}

bool IsPinsInterface(std::wstring_view device_path, std::uint16_t output_report_length) {
  const std::wstring path = Lower(device_path);
  if (path.find(L"&mi_") != std::wstring::npos) return path.find(L"&mi_00") != std::wstring::npos;
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
      if (IsIoWarriorPath(path) && IsPinsInterface(path, 3)) why = "IO-Warrior " + Narrow(path) + ": Eigenschaften nicht lesbar: " + error;
      continue;
    }
    if (hid->vendor_id != kIoWarriorVendorId || !IsPinsInterface(path, hid->output_report_length)) continue;
    auto device = std::make_unique<Device>();
    device->file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
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
    device->report_length = hid->output_report_length;
    const auto handle = reinterpret_cast<iow::IowKitHandle>(device->file);
    devices_[handle] = std::move(device);
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
  if (length != device.report_length) {
    failures_.note(false, "IowKitWrite",
                   "Report von " + std::to_string(length) + " Bytes; das Ger\u00e4t nimmt " +
                       std::to_string(device.report_length) + " Bytes mit Report-ID");
    return 0;
  }
  // The buffer must stay put until the overlapped write has finished.
  device.buffer.assign(report, report + length);
  OVERLAPPED overlapped{};
  overlapped.hEvent = device.written;
  ResetEvent(device.written);
  DWORD written = 0;
  if (!WriteFile(device.file, device.buffer.data(), length, nullptr, &overlapped)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      failures_.note(false, "IowKitWrite", "WriteFile: " + ErrorText(error));
      return 0;
    }
    if (WaitForSingleObject(device.written, static_cast<DWORD>(write_timeout_.count())) != WAIT_OBJECT_0) {
      CancelIoEx(device.file, &overlapped);
      GetOverlappedResult(device.file, &overlapped, &written, TRUE);
      failures_.note(false, "IowKitWrite",
                     "WriteFile: keine Antwort innerhalb von " + std::to_string(write_timeout_.count()) + " ms");
      return 0;
    }
  }
  if (!GetOverlappedResult(device.file, &overlapped, &written, FALSE)) {
    failures_.note(false, "IowKitWrite", "WriteFile: " + LastErrorText());
    return 0;
  }
  failures_.note(true, "IowKitWrite", {});
  return written;
}

void HidIowKit::close_device(iow::IowKitHandle handle) { devices_.erase(handle); }

}  // namespace platform::windows

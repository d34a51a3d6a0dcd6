#include "platform/windows/setup/setup_facts_windows.hpp"

#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}

#include "platform/windows/hid/hid_iowkit.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {

IowarriorNode IowarriorInterface(std::wstring_view path, std::uint16_t product, std::wstring_view serial,
                                 std::uint16_t output_report_length, DWORD open_error) {
  IowarriorNode node;
  node.path = Narrow(path);
  node.described = true;
  node.product = product;
  node.serial = Narrow(serial);
  // The path names the USB interface ("&mi_01"); where it does not, the report length tells.
  node.interface = IsPinsInterface(path, output_report_length) ? 0 : 1;
  node.report_size = output_report_length > 0 ? output_report_length - 1u : 0u;
  node.open = open_error == ERROR_SUCCESS                                                ? NodeOpen::kOpened
              : open_error == ERROR_SHARING_VIOLATION || open_error == ERROR_ACCESS_DENIED ? NodeOpen::kBusy
                                                                                           : NodeOpen::kFailed;
  if (open_error != ERROR_SUCCESS) node.error = ErrorText(open_error);
  return node;
}

std::vector<IowarriorNode> IowarriorInterfaces() {
  std::vector<IowarriorNode> nodes;
  for (const std::wstring& path : HidDevicePaths()) {
    if (!IsIoWarriorPath(path)) continue;
    // No access rights are needed to read the attributes, so an interface others hold answers too.
    const HANDLE file =
        CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      IowarriorNode node;
      node.path = Narrow(path);
      node.error = "Eigenschaften nicht lesbar: " + LastErrorText();
      nodes.push_back(node);
      continue;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    const bool described = HidD_GetAttributes(file, &attributes);
    // At most 126 characters and the NUL, as USB string descriptors go.
    wchar_t serial[127] = {};
    if (!HidD_GetSerialNumberString(file, serial, sizeof serial - sizeof serial[0])) serial[0] = L'\0';
    std::uint16_t length = 0;
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (HidD_GetPreparsedData(file, &preparsed)) {
      HIDP_CAPS caps{};
      if (HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS) length = caps.OutputReportByteLength;
      HidD_FreePreparsedData(preparsed);
    }
    CloseHandle(file);
    // Opened for writing as lumatext opens it, and closed at once: nothing is written.
    const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    const DWORD opened = writer == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
    if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
    IowarriorNode node = IowarriorInterface(path, attributes.ProductID, serial, length, opened);
    if (!described) {
      node.described = false;
      node.error = "HidD_GetAttributes: " + ErrorText(ERROR_GEN_FAILURE);
    }
    nodes.push_back(node);
  }
  return nodes;
}

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return known && elevation.TokenIsElevated != 0;
}

std::string ProcessUserName() {
  std::wstring name(256, L'\0');
  DWORD size = static_cast<DWORD>(name.size());
  if (!GetUserNameW(name.data(), &size) || size == 0) return "?";
  name.resize(size - 1);
  return Narrow(name);
}

IsaBus& ProbedBus::open(const std::wstring& name) {
  shared_.reset();
  bus_.reset();
  problems_.clear();
  bus_ = std::make_unique<IsaBus>(name, kIsaBusTimeout, [this](std::string_view line) {
    problems_ += (problems_.empty() ? "" : "; ") + std::string(line);
  });
  return *bus_;
}

void ProbedBus::finish(WindowsPortFacts& ports, iow::PortIo* backend) {
  {
    const auto hold = bus_->hold();
    ports.isa_bus_held = hold.held();
  }
  ports.isa_bus_problem = problems_;
  ports.ports_ready = backend != nullptr;
  if (backend != nullptr) shared_ = std::make_unique<IsaBusPortIo>(*backend, *bus_);
}

iow::PortIo& ProbedBus::ports() {
  if (shared_) return *shared_;
  return none_;
}

IsaBus& GatherCommonFacts(const SetupPlaces& places, SetupFacts& facts, WindowsPortFacts& ports, ProbedBus& bus) {
  facts.device_directory = "HID";
  facts.nodes = places.iowarriors();
  facts.user = ProcessUserName();
  ports.elevated = places.elevated();
  ports.isa_bus_name = Narrow(places.isa_bus);
  return bus.open(places.isa_bus);
}

iow::PortIo* GainPortsThroughDll(const SetupPlaces& places, std::unique_ptr<PortIoDll>& dll,
                                 WindowsPortFacts& ports) {
  ports.dll_tried = true;
  dll = std::make_unique<PortIoDll>(places.dlls);
  if (!dll->acquire(places.first_port, places.port_count)) {
    ports.dll_error = dll->failure();
    return nullptr;
  }
  ports.dll_loaded = Narrow(dll->loaded()->file);
  return dll.get();
}

}  // namespace platform::windows

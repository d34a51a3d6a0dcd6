#include "platform/windows/setup/setup_probe_windows.hpp"

#include <fstream>
#include <iterator>

#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

constexpr wchar_t kPawnIoUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\PawnIO";

// The index port of each configuration slot.
constexpr std::uint16_t ConfigPort(unsigned slot) { return slot == 0 ? 0x2E : 0x4E; }

DriverOpen OpenOutcome(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return DriverOpen::kOpened;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return DriverOpen::kAbsent;
    case ERROR_ACCESS_DENIED:
      return DriverOpen::kDenied;
    default:
      return DriverOpen::kFailed;
  }
}

}  // namespace

std::string InstalledPawnIoVersion() {
  HKEY key = nullptr;
  // PawnIO is a 64-bit driver: its entry is in the 64-bit view, also for a 32-bit program.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPawnIoUninstallKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) !=
      ERROR_SUCCESS) {
    return {};
  }
  std::wstring value(64, L'\0');
  DWORD type = 0;
  DWORD bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  const LSTATUS read =
      RegQueryValueExW(key, L"DisplayVersion", nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes);
  RegCloseKey(key);
  if (read != ERROR_SUCCESS || type != REG_SZ) return {};
  value.resize(bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return Narrow(value);
}

WindowsSetupProbe::WindowsSetupProbe(WindowsSetupPlaces places, PortAccess access)
    : places_(std::move(places)), access_(std::move(access)) {}

WindowsSetupProbe::~WindowsSetupProbe() = default;

void WindowsSetupProbe::look_at_pawnio(WindowsPortFacts& facts) {
  facts.pawnio_version = places_.pawnio_version();
  facts.pawnio_carried = kPawnIoCarried;
  facts.module = Narrow(places_.module.wstring());
  std::error_code error;
  facts.module_found = std::filesystem::is_regular_file(places_.module, error);

  // A handle of its own, closed again: whether PawnIO opens, and takes the module.
  const auto device = places_.pawnio();
  const DWORD opened = device->open();
  facts.pawnio_open = OpenOutcome(opened);
  if (opened != ERROR_SUCCESS) {
    facts.pawnio_error = ErrorText(opened);
    return;
  }
  if (!facts.module_found) return;
  std::ifstream file(places_.module, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  DWORD returned = 0;
  const DWORD loaded = device->control(kPawnIo.load_module, bytes, {}, returned);
  facts.module_offered = true;
  if (loaded != ERROR_SUCCESS) facts.module_error = ErrorText(loaded);
}

SetupFacts WindowsSetupProbe::collect() {
  bus_.release();
  pawnio_.reset();
  device_.reset();
  dll_.reset();

  SetupFacts facts;
  WindowsPortFacts ports;
  IsaBus& bus = GatherCommonFacts(places_, facts, ports, bus_);
  look_at_pawnio(ports);

  // The ports as lumatext gains them: PawnIO, or the DLL only where PawnIO is absent.
  iow::PortIo* backend = nullptr;
  if (ports.pawnio_open == DriverOpen::kOpened && ports.module_found && ports.module_error.empty()) {
    device_ = places_.pawnio();
    pawnio_ = std::make_unique<PawnIoPortIo>(*device_, places_.module, bus);
    if (pawnio_->acquire(places_.first_port, places_.port_count)) backend = pawnio_.get();
    for (const auto& found : pawnio_->slots()) {
      ports.slots.push_back({found.slot, ConfigPort(found.slot), found.chip_id, found.outcome});
    }
    ports.port_failure = pawnio_->failure();
    // No ITE monitor: the program reads the CPU's and the board's sensors instead.
    if (pawnio_->no_monitor() && !access_.foreign.empty()) {
      facts.ports_foreign = access_.foreign;
      facts.kernel_sources = access_.kernel_sources;
      facts.kernel_missing = access_.kernel_missing;
      if (access_.kernel_driver != nullptr) backend = &sensor_ports_;
    }
  } else if (ports.pawnio_open == DriverOpen::kAbsent) {
    backend = GainPortsThroughDll(places_, dll_, ports);
  }
  bus_.finish(ports, backend);
  facts.windows = std::move(ports);
  return facts;
}

iow::PortIo& WindowsSetupProbe::ports() { return bus_.ports(); }

}  // namespace platform::windows

namespace platform {

std::unique_ptr<SetupProbe> OpenSetupProbe(const PortAccess& access) {
  return std::make_unique<windows::WindowsSetupProbe>(windows::WindowsSetupPlaces(), access);
}

}  // namespace platform

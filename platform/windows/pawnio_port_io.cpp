#include "platform/windows/pawnio_port_io.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/windows/utf16.hpp"
#include "platform/windows/win_error.hpp"

namespace platform::windows {
namespace {

// The configuration (index) port of each slot; the data port follows it.
constexpr std::array<std::uint16_t, 2> kConfigPort{0x2E, 0x4E};
// Written to the configuration port, these bytes put an ITE chip into configuration
// mode; the last one is 0xAA on the second slot.
constexpr std::array<std::uint8_t, 3> kIteEnterKey{0x87, 0x01, 0x55};
constexpr std::array<std::uint8_t, 2> kIteEnterLast{0x55, 0xAA};
constexpr std::uint8_t kChipIdHigh = 0x20;  // configuration register: chip ID, high byte
constexpr std::uint8_t kChipIdLow = 0x21;   // configuration register: chip ID, low byte
constexpr std::uint8_t kConfigControl = 0x02;  // configuration register: bit 1 leaves configuration mode
constexpr std::uint8_t kLeaveConfig = 0x02;
constexpr std::uint16_t kIte8705 = 0x8705;

std::string Name(const PawnIoFunction& function) { return function.name; }

}  // namespace

Win32PawnIoDevice::~Win32PawnIoDevice() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
}

DWORD Win32PawnIoDevice::open() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = CreateFileW(kPawnIo.device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
  return handle_ == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
}

DWORD Win32PawnIoDevice::control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                                 DWORD& returned) {
  returned = 0;
  if (handle_ == INVALID_HANDLE_VALUE) return ERROR_INVALID_HANDLE;
  // METHOD_BUFFERED: the driver copies both buffers; it never writes to the input.
  const BOOL done = DeviceIoControl(handle_, code, const_cast<std::uint8_t*>(in.data()), static_cast<DWORD>(in.size()),
                                    out.empty() ? nullptr : out.data(), static_cast<DWORD>(out.size()), &returned,
                                    nullptr);
  return done ? ERROR_SUCCESS : GetLastError();
}

std::vector<std::uint8_t> PawnIoCall(const PawnIoFunction& function, std::span<const std::uint64_t> arguments) {
  std::vector<std::uint8_t> call(kPawnIo.name_size + 8 * arguments.size(), 0);
  const std::string name = function.name;
  // At most name_size - 1 characters: the driver needs the terminating NUL.
  std::copy_n(name.begin(), std::min(name.size(), kPawnIo.name_size - 1), call.begin());
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    for (std::size_t byte = 0; byte < 8; ++byte) {
      call[kPawnIo.name_size + 8 * i + byte] = static_cast<std::uint8_t>(arguments[i] >> (8 * byte));
    }
  }
  return call;
}

std::filesystem::path ModuleBesideProgram() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return std::filesystem::path(path).parent_path() / kPawnIo.module_file;
}

PawnIoPortIo::PawnIoPortIo(PawnIoDevice& device, std::filesystem::path module, IsaBus& bus)
    : device_(device), module_(std::move(module)), bus_(bus) {}

bool PawnIoPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  ready_ = false;
  absent_ = false;
  failure_.clear();
  slots_.clear();

  const DWORD opened = device_.open();
  if (opened == ERROR_FILE_NOT_FOUND || opened == ERROR_PATH_NOT_FOUND) {
    absent_ = true;
    return fail("PawnIO ist nicht installiert. Als Administrator installieren mit \"winget install namazso.PawnIO\" "
                "und das Modul LpcIO.bin neben lumatext.exe legen.");
  }
  if (opened == ERROR_ACCESS_DENIED) {
    return fail("PawnIO steht nur Administratoren offen: lumatext als Administrator starten (Rechtsklick, \"Als "
                "Administrator ausf\u00fchren\").");
  }
  if (opened != ERROR_SUCCESS) return fail("Das Ger\u00e4t von PawnIO ist nicht zu \u00f6ffnen: " + ErrorText(opened) + ".");

  const std::string module = Narrow(module_.wstring());
  std::ifstream file(module_, std::ios::binary);
  if (!file) {
    return fail("Das PawnIO-Modul " + Narrow(module_.filename().wstring()) + " fehlt: es geh\u00f6rt neben lumatext.exe (" +
                module + "). Es stammt aus den Releases von PawnIO.Modules (github.com/namazso/PawnIO.Modules).");
  }
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  DWORD returned = 0;
  if (const DWORD loaded = device_.control(kPawnIo.load_module, bytes, {}, returned); loaded != ERROR_SUCCESS) {
    return fail("PawnIO hat das Modul " + module + " abgelehnt (" + ErrorText(loaded) +
                "). Eine unver\u00e4nderte, signierte LpcIO.bin aus den Releases von PawnIO.Modules verwenden.");
  }

  std::string slots;
  for (unsigned slot = 0; slot < kConfigPort.size(); ++slot) {
    std::string why;
    {
      const auto hold = bus_.hold();
      why = try_slot(slot);
    }
    slots_.back().outcome = why;
    if (why.empty()) {
      if (const std::string outside = check_windows(first, count); !outside.empty()) return fail(outside);
      ready_ = true;
      failing_ = false;
      return true;
    }
    if (why.rfind(kPawnIo.select_slot.name, 0) == 0) {
      return fail("Das Modul " + module + " kann keinen Konfigurationsport w\u00e4hlen (" + why +
                  "). Eine aktuelle LpcIO.bin aus den Releases von PawnIO.Modules verwenden.");
    }
    slots += (slots.empty() ? "" : "; ") + std::string("Slot ") + std::to_string(slot) + " (Port " +
             Hex(kConfigPort[slot]) + "): " + why;
  }
  return fail("Kein ITE 8705 gefunden. " + slots + ".");
}

std::string PawnIoPortIo::try_slot(unsigned slot) {
  const std::uint16_t config = kConfigPort[slot];
  slots_.push_back({slot, 0, {}});
  const auto call = [this](const PawnIoFunction& function, std::initializer_list<std::uint64_t> arguments,
                           std::span<std::uint64_t> results = {}) -> std::string {
    const DWORD error = execute(function, std::span(arguments.begin(), arguments.size()), results);
    return error == ERROR_SUCCESS ? std::string() : Name(function) + ": " + ErrorText(error);
  };
  if (auto why = call(kPawnIo.select_slot, {slot}); !why.empty()) return why;
  for (const std::uint8_t key : kIteEnterKey) {
    if (auto why = call(kPawnIo.pio_outb, {config, key}); !why.empty()) return why;
  }
  if (auto why = call(kPawnIo.pio_outb, {config, kIteEnterLast[slot]}); !why.empty()) return why;

  std::array<std::uint64_t, 1> high{};
  std::array<std::uint64_t, 1> low{};
  if (auto why = call(kPawnIo.superio_inb, {kChipIdHigh}, high); !why.empty()) return why;
  if (auto why = call(kPawnIo.superio_inb, {kChipIdLow}, low); !why.empty()) return why;
  const auto chip_id = static_cast<std::uint16_t>((high[0] & 0xFF) << 8 | (low[0] & 0xFF));
  slots_.back().chip_id = chip_id;

  const auto leave = [&] { return call(kPawnIo.superio_outb, {kConfigControl, kLeaveConfig}); };
  if (chip_id != kIte8705) {
    // Another ITE chip answered: let it go again. Never on the second slot, where
    // leaving configuration mode can hang some of the chips found there.
    if ((chip_id >> 8) == 0x87 && slot == 0) leave();
    if (chip_id == 0xFFFF || chip_id == 0x0000) return "keine Antwort (Chip-ID " + Hex(chip_id, 4) + ")";
    return "Chip-ID " + Hex(chip_id, 4);
  }
  const std::string found = call(kPawnIo.find_bars, {});
  const std::string left = leave();
  return !found.empty() ? found : left;
}

std::string PawnIoPortIo::check_windows(std::uint16_t first, std::uint16_t count) {
  // LpcIO opens only the windows the chip names; the monitor's ports must lie in one.
  // Reading the address and the data port changes nothing on the chip.
  const auto hold = bus_.hold();
  for (unsigned port = first; port < first + count; ++port) {
    std::array<std::uint64_t, 1> value{};
    const std::array<std::uint64_t, 1> argument{port};
    const DWORD error = execute(kPawnIo.pio_inb, argument, value);
    if (error == ERROR_ACCESS_DENIED) {
      return "Der ITE 8705 ist gefunden, aber Port " + Hex(port) +
             " liegt au\u00dferhalb der Portfenster, die LpcIO f\u00fcr ihn \u00f6ffnet: sein Systemmonitor liegt "
             "nicht bei " + Hex(first & ~7u) + ".";
    }
    if (error != ERROR_SUCCESS) return Name(kPawnIo.pio_inb) + "(" + Hex(port) + "): " + ErrorText(error) + ".";
  }
  return {};
}

DWORD PawnIoPortIo::execute(const PawnIoFunction& function, std::span<const std::uint64_t> arguments,
                            std::span<std::uint64_t> results) {
  const std::vector<std::uint8_t> input = PawnIoCall(function, arguments);
  std::vector<std::uint8_t> output(8 * function.results, 0);
  DWORD returned = 0;
  const DWORD error = device_.control(kPawnIo.execute, input, output, returned);
  if (error != ERROR_SUCCESS) return error;
  if (returned != output.size()) return ERROR_INVALID_DATA;
  for (std::size_t i = 0; i < results.size() && i < function.results; ++i) {
    std::uint64_t value = 0;
    for (std::size_t byte = 0; byte < 8; ++byte) value |= std::uint64_t{output[8 * i + byte]} << (8 * byte);
    results[i] = value;
  }
  return ERROR_SUCCESS;
}

void PawnIoPortIo::out(std::uint16_t port, std::uint8_t value) {
  if (!ready_) return;
  const std::array<std::uint64_t, 2> arguments{port, value};
  note(execute(kPawnIo.pio_outb, arguments), Name(kPawnIo.pio_outb) + "(" + Hex(port) + ")");
}

std::uint8_t PawnIoPortIo::in(std::uint16_t port) {
  if (!ready_) return 0xFF;
  const std::array<std::uint64_t, 1> argument{port};
  std::array<std::uint64_t, 1> value{0xFF};
  const DWORD error = execute(kPawnIo.pio_inb, argument, value);
  note(error, Name(kPawnIo.pio_inb) + "(" + Hex(port) + ")");
  return error == ERROR_SUCCESS ? static_cast<std::uint8_t>(value[0] & 0xFF) : std::uint8_t{0xFF};
}

const std::vector<PawnIoPortIo::SlotFinding>& PawnIoPortIo::slots() const { return slots_; }

bool PawnIoPortIo::fail(std::string reason) {
  failure_ = std::move(reason);
  Diagnostic("PortAccess: PawnIO: " + failure_);
  return false;
}

void PawnIoPortIo::note(DWORD error, const std::string& call) {
  if (error == ERROR_SUCCESS) {
    failing_ = false;
  } else if (!failing_) {
    failing_ = true;
    Diagnostic("PawnIO " + call + ": " + ErrorText(error));
  }
}

}  // namespace platform::windows

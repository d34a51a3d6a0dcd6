#include "platform/windows/ports/pawnio_port_io.hpp"

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

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
constexpr std::uint8_t kChipRevision = 0x22;  // configuration register: revision in bits 3-0
constexpr std::uint8_t kRevisionBits = 0x0F;
// The IT8705F, whose fan reading does not depend on its revision.
constexpr std::uint16_t kIte8705 = 0x8705;
constexpr std::uint8_t kConfigControl = 0x02;  // configuration register: bit 1 leaves configuration mode
constexpr std::uint8_t kLeaveConfig = 0x02;
// The high byte of every ITE chip's ID; the family shares the environment controller's
// registers the program reads.
constexpr std::uint16_t kIteFamily = 0x87;

std::string Name(const PawnIoFunction& function) { return function.name; }

// "IT8712F (Chip-ID 0x8712)".
std::string ChipText(std::uint16_t id) {
  static constexpr std::array<std::uint16_t, 6> kKnown{0x8705, 0x8712, 0x8716, 0x8718, 0x8720, 0x8726};
  const std::string model = "IT" + Hex(id, 4).substr(2);
  const bool known = std::find(kKnown.begin(), kKnown.end(), id) != kKnown.end();
  return (known ? model + "F" : "ITE-Chip " + model) + " (Chip-ID " + Hex(id, 4) + ")";
}

// "Slot 0 (Port 0x2E)".
std::string SlotText(unsigned slot) {
  return "Slot " + std::to_string(slot) + " (Port " + Hex(kConfigPort[slot]) + ")";
}

// Why PawnIO did not load the module, and what to do.
std::string LoadFailure(DWORD error, const std::string& module) {
  const std::string fetch = "Die unver\u00e4nderte LpcIO.bin aus dem lumatext-Paket oder aus den Releases von "
                            "PawnIO.Modules (github.com/namazso/PawnIO.Modules) neben lumatext.exe legen.";
  switch (error) {
    case ERROR_NOT_SUPPORTED:
      return "PawnIO hat das Modul " + module + " nicht gestartet (" + ErrorText(error) +
             "): LpcIO l\u00e4uft nur auf Windows f\u00fcr x64-Prozessoren, dieser Rechner hat einen anderen "
             "Prozessor (etwa ARM64). Hier kann lumatext den Systemmonitor nicht lesen.";
    case ERROR_ALREADY_INITIALIZED:
      return "PawnIO meldet, auf dieser Verbindung sei schon ein Modul geladen (" + ErrorText(error) +
             "). lumatext beenden und neu starten.";
    // A signature that does not match (STATUS_INVALID_SIGNATURE, which has no Win32 error
    // of its own), a file too short for its signature, an image the interpreter refuses.
    case ERROR_MR_MID_NOT_FOUND:
    case ERROR_INVALID_PARAMETER:
    case ERROR_GEN_FAILURE:
    case ERROR_BAD_EXE_FORMAT:
      return "PawnIO hat das Modul " + module + " abgelehnt (" +
             (error == ERROR_MR_MID_NOT_FOUND ? "Signatur ung\u00fcltig, Fehler 317" : ErrorText(error)) +
             "): es ist besch\u00e4digt oder nicht von PawnIO signiert. " + fetch;
    default:
      return "PawnIO hat das Modul " + module + " nicht geladen (" + ErrorText(error) +
             "). PawnIO neu installieren (winget install namazso.PawnIO) und den Rechner neu starten.";
  }
}

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
  if (arguments.size() != function.arguments) return {};
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

std::filesystem::path ModuleBesideProgram(const wchar_t* name) {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  return std::filesystem::path(path).parent_path() / name;
}

DWORD PawnIoLoad(PawnIoDevice& device, const std::filesystem::path& module) {
  std::ifstream file(module, std::ios::binary);
  if (!file) return ERROR_FILE_NOT_FOUND;
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  DWORD returned = 0;
  return device.control(kPawnIo.load_module, bytes, {}, returned);
}

DWORD PawnIoExecute(PawnIoDevice& device, const PawnIoFunction& function, std::span<const std::uint64_t> arguments,
                    std::span<std::uint64_t> results) {
  const std::vector<std::uint8_t> input = PawnIoCall(function, arguments);
  if (input.empty() || results.size() != function.results) return ERROR_INVALID_PARAMETER;
  std::vector<std::uint8_t> output(8 * function.results, 0);
  DWORD returned = 0;
  const DWORD error = device.control(kPawnIo.execute, input, output, returned);
  if (error != ERROR_SUCCESS) return error;
  if (returned != output.size()) return ERROR_INVALID_DATA;
  for (std::size_t i = 0; i < results.size(); ++i) {
    std::uint64_t value = 0;
    for (std::size_t byte = 0; byte < 8; ++byte) value |= std::uint64_t{output[8 * i + byte]} << (8 * byte);
    results[i] = value;
  }
  return ERROR_SUCCESS;
}

PawnIoPortIo::PawnIoPortIo(PawnIoDevice& device, std::filesystem::path module, IsaBus& bus)
    : device_(device), module_(std::move(module)), bus_(bus) {}

bool PawnIoPortIo::acquire(std::uint16_t first, std::uint16_t count) {
  ready_ = false;
  absent_ = false;
  no_monitor_ = false;
  failure_.clear();
  module_fault_.clear();
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
  if (std::error_code error; !std::filesystem::is_regular_file(module_, error)) {
    return fail("Das PawnIO-Modul " + Narrow(module_.filename().wstring()) + " fehlt: es geh\u00f6rt neben lumatext.exe (" +
                module + "). Es stammt aus den Releases von PawnIO.Modules (github.com/namazso/PawnIO.Modules).");
  }
  if (const DWORD loaded = PawnIoLoad(device_, module_); loaded != ERROR_SUCCESS) {
    return fail(LoadFailure(loaded, module));
  }

  std::string found;
  for (unsigned slot = 0; slot < kConfigPort.size(); ++slot) {
    SlotFinding& finding = slots_.emplace_back();
    finding.slot = slot;
    {
      const auto hold = bus_.hold();
      try_slot(finding, first, count);
    }
    if (!module_fault_.empty()) {
      return fail("Das Modul " + module + " taugt nicht f\u00fcr lumatext (" + module_fault_ +
                  "). Eine aktuelle, unver\u00e4nderte LpcIO.bin aus den Releases von PawnIO.Modules "
                  "(github.com/namazso/PawnIO.Modules) neben lumatext.exe legen.");
    }
    if (finding.outcome.empty()) {
      Diagnostic("PortAccess: PawnIO: " + ChipText(finding.chip_id) + " an " + SlotText(slot) + ", Ports " + Hex(first) +
                 " bis " + Hex(first + count - 1u) + " in seinen Portfenstern");
      ready_ = true;
      failing_ = false;
      return true;
    }
    found += (found.empty() ? "" : "; ") + SlotText(slot) + ": " + finding.outcome;
  }
  no_monitor_ = true;
  return fail("Kein nutzbarer ITE-Chip gefunden. " + found + ".");
}

const std::vector<SlotFinding>& PawnIoPortIo::slots() const { return slots_; }

iow::MonitorChip PawnIoPortIo::chip() const {
  if (!ready_ || slots_.empty()) return {};
  return {slots_.back().chip_id, slots_.back().revision};
}

std::string PawnIoPortIo::call(const PawnIoFunction& function, std::initializer_list<std::uint64_t> arguments,
                               std::span<std::uint64_t> results) {
  const DWORD error = execute(function, std::span(arguments.begin(), arguments.size()), results);
  if (error == ERROR_SUCCESS) return {};
  // The driver's answer for a function the module does not have.
  if (error == ERROR_FILE_NOT_FOUND) module_fault_ = "ihm fehlt die Funktion " + Name(function);
  return Name(function) + ": " + ErrorText(error);
}

void PawnIoPortIo::try_slot(SlotFinding& finding, std::uint16_t first, std::uint16_t count) {
  const unsigned slot = finding.slot;
  const std::uint16_t config = kConfigPort[slot];
  if (auto why = call(kPawnIo.select_slot, {slot}); !why.empty()) {
    if (module_fault_.empty()) module_fault_ = why;
    finding.outcome = why;
    return;
  }
  for (const std::uint8_t key : kIteEnterKey) {
    if (auto why = call(kPawnIo.pio_outb, {config, key}); !why.empty()) {
      finding.outcome = why;
      return;
    }
  }
  if (auto why = call(kPawnIo.pio_outb, {config, kIteEnterLast[slot]}); !why.empty()) {
    finding.outcome = why;
    return;
  }

  std::array<std::uint64_t, 1> high{};
  std::array<std::uint64_t, 1> low{};
  if (auto why = call(kPawnIo.superio_inb, {kChipIdHigh}, high); !why.empty()) {
    finding.outcome = why;
    return;
  }
  if (auto why = call(kPawnIo.superio_inb, {kChipIdLow}, low); !why.empty()) {
    finding.outcome = why;
    return;
  }
  const auto id = static_cast<std::uint16_t>((high[0] & 0xFF) << 8 | (low[0] & 0xFF));
  finding.chip_id = id;
  if (id == 0xFFFF || id == 0x0000) {
    finding.outcome = "keine Antwort (Chip-ID " + Hex(id, 4) + ")";
    return;
  }
  if (id >> 8 != kIteFamily) {
    // Not entered by ITE's key, or entered before by someone else: left as it is.
    finding.outcome = "Chip-ID " + Hex(id, 4) +
                      " ist kein ITE-Chip; seine Register 0x29 und 0x0D bedeuten etwas anderes als beim ITE 8705";
    return;
  }
  // The revision decides how a later chip counts its fans (the IT8712F in 16 bits only
  // from revision 0x08 on); the IT8705F is read one way whatever its revision.
  if (id != kIte8705) {
    std::array<std::uint64_t, 1> revision{};
    if (auto why = call(kPawnIo.superio_inb, {kChipRevision}, revision); !why.empty()) {
      finding.outcome = why;
      return;
    }
    finding.revision = static_cast<std::uint8_t>(revision[0] & kRevisionBits);
  }

  // Configuration mode is left on slot 0 only: on slot 1 leaving it can hang some of
  // the chips found there, whatever came of this one.
  const auto leave = [&]() -> std::string {
    return slot == 0 ? call(kPawnIo.superio_outb, {kConfigControl, kLeaveConfig}) : std::string();
  };
  const std::string bars = call(kPawnIo.find_bars, {});
  const std::string left = leave();
  std::string why = !bars.empty() ? bars : !left.empty() ? left : check_windows(first, count);
  if (!why.empty()) finding.outcome = ChipText(id) + ": " + why;
}

std::string PawnIoPortIo::check_windows(std::uint16_t first, std::uint16_t count) {
  // LpcIO opens only the windows the chip names, 8 ports each from a multiple of 8; the
  // monitor's ports must lie in them. Each window is tried once, through its lowest
  // port asked for: for the monitor the address port, which reads without effect (a
  // data port read gives the selected register, and some registers clear when read).
  for (unsigned port = first; port < first + count; ++port) {
    if (port != first && port % 8 != 0) continue;
    std::array<std::uint64_t, 1> value{};
    const DWORD error = execute(kPawnIo.pio_inb, std::array<std::uint64_t, 1>{port}, value);
    if (error == ERROR_ACCESS_DENIED) {
      return "Port " + Hex(port) + " liegt au\u00dferhalb der Portfenster, die LpcIO f\u00fcr ihn \u00f6ffnet: sein "
             "Systemmonitor liegt nicht bei " + Hex(first & ~7u);
    }
    if (error != ERROR_SUCCESS) {
      if (error == ERROR_FILE_NOT_FOUND) module_fault_ = "ihm fehlt die Funktion " + Name(kPawnIo.pio_inb);
      return Name(kPawnIo.pio_inb) + "(" + Hex(port) + "): " + ErrorText(error);
    }
  }
  return {};
}

DWORD PawnIoPortIo::execute(const PawnIoFunction& function, std::span<const std::uint64_t> arguments,
                            std::span<std::uint64_t> results) {
  return PawnIoExecute(device_, function, arguments, results);
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

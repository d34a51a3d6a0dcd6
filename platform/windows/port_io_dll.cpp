#include "platform/windows/port_io_dll.hpp"

#include <array>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/windows/library_symbol.hpp"
#include "platform/windows/utf16.hpp"
#include "platform/windows/win_error.hpp"

namespace platform::windows {
namespace {

using IoDllOut = void(WINAPI*)(short port, char value);
using IoDllIn = char(WINAPI*)(short port);
using InpOutOut = void(WINAPI*)(short port, short value);
using InpOutIn = short(WINAPI*)(short port);
// inpout's optional check that its kernel driver is installed and open.
using InpOutDriverOpen = BOOL(WINAPI*)();

// Only the program's own folder and System32: a DLL planted in the current folder or
// on PATH would otherwise run with the administrator rights the driver needs.
constexpr DWORD kSearchFlags = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

#if defined(_WIN64)
constexpr std::array kLibraries{
    PortIoLibrary{L"inpoutx64.dll", "Out32", "Inp32", PortIoLibrary::Calls::kInpOut},
};
#else
constexpr std::array kLibraries{
    PortIoLibrary{L"IO.DLL", "PortOut", "PortIn", PortIoLibrary::Calls::kIoDll},
    PortIoLibrary{L"inpout32.dll", "Out32", "Inp32", PortIoLibrary::Calls::kInpOut},
};
#endif

// Ports are passed as the DLLs' signed 16-bit numbers, bit for bit.
short PortNumber(std::uint16_t port) { return static_cast<short>(port); }

}  // namespace

std::span<const PortIoLibrary> DefaultPortIoLibraries() { return kLibraries; }

PortIoDll::PortIoDll(std::span<const PortIoLibrary> candidates) : candidates_(candidates) {}

PortIoDll::~PortIoDll() {
  if (module_ != nullptr) FreeLibrary(module_);
}

bool PortIoDll::acquire(std::uint16_t first, std::uint16_t count) {
  failure_.clear();
  std::string reasons;
  for (const PortIoLibrary& library : candidates_) {
    const std::string name = Narrow(library.file);
    HMODULE module = LoadLibraryExW(library.file, nullptr, kSearchFlags);
    std::string reason;
    if (module == nullptr) {
      reason = "LoadLibraryEx " + name + " (Programmordner, System32): " + LastErrorText();
    } else {
      Table table{GetProcAddress(module, library.out_symbol), GetProcAddress(module, library.in_symbol)};
      const auto driver_open = Symbol<InpOutDriverOpen>(module, "IsInpOutDriverOpen");
      if (table.out == nullptr) {
        reason = name + ": kein Symbol " + library.out_symbol;
      } else if (table.in == nullptr) {
        reason = name + ": kein Symbol " + library.in_symbol;
      } else if (driver_open != nullptr && !driver_open()) {
        reason = name + ": sein Treiber l\u00e4uft nicht. M\u00f6gliche Gr\u00fcnde: die Speicher-Integrit\u00e4t "
                        "(Kernisolierung) ist an, Windows sperrt den Treiber als angreifbar (Sperrliste f\u00fcr "
                        "Treiber), oder dem ersten Start fehlten Administratorrechte. Besser: PawnIO installieren "
                        "(winget install namazso.PawnIO)";
      } else {
        module_ = module;
        loaded_ = &library;
        table_ = table;
        return true;
      }
      FreeLibrary(module);
    }
    reasons += (reasons.empty() ? "" : "; ") + reason;
  }
  failure_ = "PortAccess(" + Hex(first) + ", " + std::to_string(count) + "): keine Port-I/O-DLL: " +
             (reasons.empty() ? std::string("keine zu versuchen") : reasons);
  Diagnostic(failure_);
  return false;
}

void PortIoDll::out(std::uint16_t port, std::uint8_t value) {
  if (loaded_ == nullptr) return;
  if (loaded_->calls == PortIoLibrary::Calls::kIoDll) {
    FunctionCast<IoDllOut>(table_.out)(PortNumber(port), static_cast<char>(value));
  } else {
    FunctionCast<InpOutOut>(table_.out)(PortNumber(port), static_cast<short>(value));
  }
}

std::uint8_t PortIoDll::in(std::uint16_t port) {
  if (loaded_ == nullptr) return 0xFF;
  if (loaded_->calls == PortIoLibrary::Calls::kIoDll) {
    return static_cast<std::uint8_t>(FunctionCast<IoDllIn>(table_.in)(PortNumber(port)));
  }
  return static_cast<std::uint8_t>(FunctionCast<InpOutIn>(table_.in)(PortNumber(port)) & 0xFF);
}

}  // namespace platform::windows

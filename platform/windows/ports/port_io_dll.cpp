#include "platform/windows/ports/port_io_dll.hpp"

#include <array>
#include <filesystem>
#include <utility>

#include "platform/diagnostics.hpp"
#include "platform/hex_text.hpp"
#include "platform/windows/base/library_symbol.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

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

// Why a DLL's driver may not run, and what to do instead.
#if defined(_WIN64)
constexpr char kDriverAdvice[] =
    "M\u00f6gliche Gr\u00fcnde: die Speicher-Integrit\u00e4t (Kernisolierung) ist an, Windows sperrt den Treiber als "
    "angreifbar (Sperrliste f\u00fcr Treiber), oder dem ersten Start fehlten Administratorrechte. Besser: PawnIO "
    "installieren (winget install namazso.PawnIO)";
#else
constexpr char kDriverAdvice[] =
    "M\u00f6gliche Gr\u00fcnde: dem ersten Start fehlten Administratorrechte, oder auf einem 64-Bit-Windows sperrt "
    "Windows den Treiber (Speicher-Integrit\u00e4t, Sperrliste f\u00fcr Treiber); dort besser die 64-Bit-Fassung "
    "von lumatext mit PawnIO nehmen";
#endif

// Ports are passed as the DLLs' signed 16-bit numbers, bit for bit.
short PortNumber(std::uint16_t port) { return static_cast<short>(port); }

// The folder of the running program; empty when it cannot be had.
std::filesystem::path ProgramFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return std::filesystem::path(path).parent_path();
    }
    path.resize(path.size() * 2);
  }
}

// The system folder: System32 (SysWOW64 for a 32-bit program on 64-bit Windows).
std::filesystem::path SystemFolder() {
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::filesystem::path() : std::filesystem::path(path);
}

}  // namespace

std::span<const PortIoLibrary> DefaultPortIoLibraries() { return kLibraries; }

bool HasLibrarySearchFlags() {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 != nullptr && GetProcAddress(kernel32, "AddDllDirectory") != nullptr;
}

HMODULE LoadFromProgramFolderOrSystem32(const wchar_t* file, bool search_flags) {
  if (search_flags) return LoadLibraryExW(file, nullptr, kSearchFlags);
  // By full path; the DLL's own imports are then looked for in its folder first.
  DWORD error = ERROR_MOD_NOT_FOUND;
  for (const std::filesystem::path& folder : {ProgramFolder(), SystemFolder()}) {
    if (folder.empty()) continue;
    const std::filesystem::path path = folder / file;
    if (HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)) return module;
    // A DLL that is there but will not load says more than its absence from the other folder.
    if (const DWORD code = GetLastError(); code != ERROR_MOD_NOT_FOUND || error == ERROR_MOD_NOT_FOUND) error = code;
  }
  SetLastError(error);
  return nullptr;
}

PortIoDll::PortIoDll(std::span<const PortIoLibrary> candidates) : candidates_(candidates) {}

PortIoDll::~PortIoDll() {
  if (module_ != nullptr) FreeLibrary(module_);
}

bool PortIoDll::acquire(std::uint16_t first, std::uint16_t count) {
  if (module_ != nullptr) FreeLibrary(std::exchange(module_, nullptr));
  loaded_ = nullptr;
  table_ = {};
  failure_.clear();
  attempts_.clear();
  std::string reasons;
  const bool search_flags = HasLibrarySearchFlags();
  for (const PortIoLibrary& library : candidates_) {
    const std::string name = Narrow(library.file);
    HMODULE module = LoadFromProgramFolderOrSystem32(library.file, search_flags);
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
        reason = name + ": sein Treiber l\u00e4uft nicht. " + kDriverAdvice;
      } else {
        module_ = module;
        loaded_ = &library;
        table_ = table;
        attempts_.push_back({name, {}});
        return true;
      }
      FreeLibrary(module);
    }
    attempts_.push_back({name, reason});
    reasons += (reasons.empty() ? "" : "; ") + reason;
  }
  failure_ = "PortAccess(" + Hex(first) + ", " + std::to_string(count) + "): keine Port-I/O-DLL: " +
             (reasons.empty() ? std::string("keine zu versuchen") : reasons);
  Diagnostic(failure_);
  return false;
}

std::wstring PortIoDll::loaded_path() const {
  if (module_ == nullptr) return {};
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(module_, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length < path.size() ? length : 0);
  return path;
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

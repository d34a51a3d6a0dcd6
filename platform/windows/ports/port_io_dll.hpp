#pragma once
// Port I/O on Windows through a driver-backed DLL loaded at run time: user-mode code
// cannot execute port instructions itself.

#include <windows.h>

#include <span>
#include <string>
#include <vector>

#include "platform/iow.hpp"

namespace platform::windows {

// One port I/O DLL and how to call it.
struct PortIoLibrary {
  enum class Calls {
    kIoDll,   // void PortOut(short port, char value), char PortIn(short port)
    kInpOut,  // void Out32(short port, short value), short Inp32(short port)
  };
  const wchar_t* file;
  const char* out_symbol;
  const char* in_symbol;
  Calls calls;
};

// The DLLs tried in turn: IO.DLL (32-bit only), inpout32.dll, or inpoutx64.dll in a
// 64-bit program.
std::span<const PortIoLibrary> DefaultPortIoLibraries();

// Loads `file` from the program's own folder or from System32, nowhere else; null when
// it is in neither, GetLastError telling why. `search_flags`: whether LoadLibraryEx
// takes LOAD_LIBRARY_SEARCH_* (Windows 8 and later; Windows 7 with KB2533623); without
// them the two folders are tried by full path.
HMODULE LoadFromProgramFolderOrSystem32(const wchar_t* file, bool search_flags);
// Whether this Windows has the LOAD_LIBRARY_SEARCH_* flags (kernel32 has AddDllDirectory).
bool HasLibrarySearchFlags();

// One DLL tried by acquire, and why it was not taken; `failure` empty for the one loaded.
struct PortIoAttempt {
  std::string file;
  std::string failure;
};

class PortIoDll final : public iow::PortIo {
 public:
  explicit PortIoDll(std::span<const PortIoLibrary> candidates = DefaultPortIoLibraries());
  ~PortIoDll() override;
  PortIoDll(const PortIoDll&) = delete;
  PortIoDll& operator=(const PortIoDll&) = delete;

  // Loads the first candidate DLL whose symbols all resolve; false when none does,
  // every candidate's reason reported as one diagnostic.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;

  // Why the last acquire failed, one line; empty after success.
  const std::string& failure() const { return failure_; }
  // The DLL the last acquire loaded; null when none.
  const PortIoLibrary* loaded() const { return loaded_; }
  // The full path the loaded DLL came from; empty when none is loaded.
  std::wstring loaded_path() const;
  // Every DLL the last acquire tried, in order, each with why it was not taken.
  const std::vector<PortIoAttempt>& attempts() const { return attempts_; }

 private:
  // The symbols of the loaded DLL, resolved once.
  struct Table {
    FARPROC out = nullptr;
    FARPROC in = nullptr;
  };

  std::span<const PortIoLibrary> candidates_;
  HMODULE module_ = nullptr;
  const PortIoLibrary* loaded_ = nullptr;
  Table table_;
  std::string failure_;
  std::vector<PortIoAttempt> attempts_;
};

}  // namespace platform::windows

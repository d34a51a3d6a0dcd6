#pragma once
// Port I/O on Windows through a driver-backed DLL loaded at run time: user-mode code
// cannot execute port instructions itself.

#include <windows.h>

#include <span>
#include <string>

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
  // The file of the DLL the last acquire loaded; null when none.
  const wchar_t* loaded() const { return loaded_ != nullptr ? loaded_->file : nullptr; }

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
};

}  // namespace platform::windows

#pragma once
// The ISA/LPC bus as the hardware-monitoring tools of Windows share it: one global
// named mutex, held around each access to a chip's address/data port pair, so that
// no tool's register number is overwritten by another's before its data is read.

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/iow.hpp"

namespace platform::windows {

// The name every tool uses for the bus.
inline constexpr wchar_t kIsaBusMutexName[] = L"Global\\Access_ISABUS.HTP.Method";
// How long one access waits for another tool to let go of the bus, as those tools wait.
inline constexpr std::chrono::milliseconds kIsaBusTimeout{100};

class IsaBus {
 public:
  // Holds the bus from construction to destruction, when it could be had.
  class Hold {
   public:
    Hold(Hold&& other) noexcept : mutex_(std::exchange(other.mutex_, nullptr)) {}
    Hold& operator=(Hold&&) = delete;
    ~Hold();
    // Whether this hold owns the mutex (also when another owner ended without releasing it).
    bool held() const { return mutex_ != nullptr; }

   private:
    friend class IsaBus;
    explicit Hold(HANDLE mutex) : mutex_(mutex) {}
    HANDLE mutex_;
  };

  // Creates the mutex `name` with an access list that lets every program use it, or
  // opens the one another program created. Problems go to `report`, each kind once.
  explicit IsaBus(std::wstring name = kIsaBusMutexName, std::chrono::milliseconds timeout = kIsaBusTimeout,
                  std::function<void(std::string_view)> report = {});
  ~IsaBus();
  IsaBus(const IsaBus&) = delete;
  IsaBus& operator=(const IsaBus&) = delete;

  // Waits up to the timeout for the bus. An abandoned mutex counts as had. When the
  // bus cannot be had the access goes ahead all the same, unheld; the first time is
  // reported.
  [[nodiscard]] Hold hold();

 private:
  void report_once(bool& reported, std::string_view text);

  std::wstring name_;
  std::chrono::milliseconds timeout_;
  std::function<void(std::string_view)> report_;
  HANDLE mutex_ = nullptr;
  bool reported_timeout_ = false;
  bool reported_failure_ = false;
};

// Port I/O whose register accesses hold the ISA bus: from the write of the register
// number to the address port until the following read of the data port.
class IsaBusPortIo final : public iow::PortIo {
 public:
  IsaBusPortIo(iow::PortIo& ports, IsaBus& bus) : ports_(ports), bus_(bus) {}

  // Forwarded unheld: a backend that touches the bus while gaining access holds it itself.
  bool acquire(std::uint16_t first, std::uint16_t count) override { return ports_.acquire(first, count); }
  // Takes the bus (unless this access already holds it), then writes.
  void out(std::uint16_t port, std::uint8_t value) override;
  // Reads, then lets go of the bus.
  std::uint8_t in(std::uint16_t port) override;
  iow::MonitorChip chip() const override { return ports_.chip(); }
  iow::MonitorDriver* driver() override { return ports_.driver(); }

 private:
  iow::PortIo& ports_;
  IsaBus& bus_;
  std::optional<IsaBus::Hold> hold_;
};

}  // namespace platform::windows

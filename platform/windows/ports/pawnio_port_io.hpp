#pragma once
// Port I/O through PawnIO: a signed kernel driver that runs signed modules. Its module
// LpcIO reaches a Super-I/O chip's configuration ports and, once it has found them,
// the chip's own port windows, among them the ITE 8705's environment controller.

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "platform/iow.hpp"
#include "platform/windows/ports/isa_bus.hpp"

namespace platform::windows {

// Everything the program knows of PawnIO and LpcIO: the device, the control codes,
// the module file and the module functions with their numbers of 64-bit arguments
// and results. The driver checks neither number; the module refuses a wrong count
// only where the function takes or gives something (find_bars takes extra arguments,
// superio_outb fills a result it was given with the echo of its name), so the
// program sends exactly these counts itself.
struct PawnIoFunction {
  const char* name;
  std::size_t arguments;
  std::size_t results;
};

struct PawnIoProtocol {
  const wchar_t* device;
  DWORD load_module;      // input: the module file's bytes
  DWORD execute;          // input: function name padded to name_size, then the arguments
  std::size_t name_size;  // bytes of the NUL-padded function name
  const wchar_t* module_file;
  PawnIoFunction select_slot;   // slot (0: ports 0x2E/0x2F, 1: 0x4E/0x4F); forgets earlier windows
  PawnIoFunction find_bars;     // opens the port windows the chip's logical devices name
  PawnIoFunction pio_outb;      // port, value: to a configuration port or a window
  PawnIoFunction pio_inb;       // port -> value
  PawnIoFunction superio_inb;   // configuration register -> value
  PawnIoFunction superio_outb;  // configuration register, value
};

// CTL_CODE(41394, function, METHOD_BUFFERED, FILE_ANY_ACCESS), in unsigned arithmetic.
constexpr DWORD PawnIoControlCode(DWORD function) {
  constexpr DWORD kDeviceType = 41394;
  return kDeviceType << 16 | DWORD{FILE_ANY_ACCESS} << 14 | function << 2 | DWORD{METHOD_BUFFERED};
}

inline constexpr PawnIoProtocol kPawnIo{
    L"\\\\?\\GLOBALROOT\\Device\\PawnIO",
    PawnIoControlCode(0x821),
    PawnIoControlCode(0x841),
    32,
    L"LpcIO.bin",
    {"ioctl_select_slot", 1, 0},
    {"ioctl_find_bars", 0, 0},
    {"ioctl_pio_outb", 2, 0},
    {"ioctl_pio_inb", 1, 1},
    {"ioctl_superio_inb", 1, 1},
    {"ioctl_superio_outb", 2, 0},
};

// The PawnIO device as the program reaches it: opening it, and DeviceIoControl.
class PawnIoDevice {
 public:
  virtual ~PawnIoDevice() = default;
  // Opens the device (closing one opened before); ERROR_SUCCESS or the Windows error.
  virtual DWORD open() = 0;
  // DeviceIoControl with `code` on the open device; ERROR_SUCCESS or the Windows error,
  // `returned` the bytes written to `out`.
  virtual DWORD control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                        DWORD& returned) = 0;
};

// The real device, kPawnIo.device.
class Win32PawnIoDevice final : public PawnIoDevice {
 public:
  Win32PawnIoDevice() = default;
  ~Win32PawnIoDevice() override;
  Win32PawnIoDevice(const Win32PawnIoDevice&) = delete;
  Win32PawnIoDevice& operator=(const Win32PawnIoDevice&) = delete;

  DWORD open() override;
  DWORD control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                DWORD& returned) override;

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The execute input for `function` with `arguments`: the name NUL-padded to
// kPawnIo.name_size bytes, then each argument as 8 little-endian bytes. Empty when
// the number of arguments is not the function's.
std::vector<std::uint8_t> PawnIoCall(const PawnIoFunction& function, std::span<const std::uint64_t> arguments);

// Calls `function` of the module loaded on `device` with exactly its number of
// `arguments` and `results` (neither the driver nor the module checks them all);
// ERROR_SUCCESS or the Windows error, ERROR_INVALID_PARAMETER for a wrong count,
// ERROR_INVALID_DATA for a short answer. `results` gets the results.
DWORD PawnIoExecute(PawnIoDevice& device, const PawnIoFunction& function, std::span<const std::uint64_t> arguments,
                    std::span<std::uint64_t> results = {});

// Loads the module file `module` on `device`; ERROR_SUCCESS, the Windows error PawnIO
// answered, or ERROR_FILE_NOT_FOUND when the file cannot be read.
DWORD PawnIoLoad(PawnIoDevice& device, const std::filesystem::path& module);

// The module file `name` beside the running program; LpcIO's by default.
std::filesystem::path ModuleBesideProgram(const wchar_t* name = kPawnIo.module_file);

// What acquire found on each configuration slot it tried, in the order tried.
struct SlotFinding {
  unsigned slot = 0;            // 0: ports 0x2E/0x2F, 1: 0x4E/0x4F
  std::uint16_t chip_id = 0;    // configuration registers 0x20/0x21; 0 when the slot could not be read
  std::uint8_t revision = 0;    // configuration register 0x22, bits 3-0; read on ITE chips other than the IT8705F
  std::string outcome;          // empty when this slot's chip was taken, else why not (German, for the user)
};

class PawnIoPortIo final : public iow::PortIo {
 public:
  // `module`: the LpcIO module file. `bus` is held around the chip's configuration sequence.
  PawnIoPortIo(PawnIoDevice& device, std::filesystem::path module, IsaBus& bus);

  // Opens PawnIO, loads the module and takes the first ITE chip (chip ID 0x87xx) on
  // configuration slot 0, then 1, in whose port windows, as LpcIO opens them, the ports
  // lie; other makers' chips are refused (their registers mean other things). False on
  // any failure, the reason as one diagnostic and in failure(); the chip taken as a
  // diagnostic.
  bool acquire(std::uint16_t first, std::uint16_t count) override;
  // Unheld: the caller holds the bus around each register access. A run of failing
  // accesses is reported once; a failed read gives 0xFF.
  void out(std::uint16_t port, std::uint8_t value) override;
  std::uint8_t in(std::uint16_t port) override;
  // The chip taken by the last successful acquire, with its revision.
  iow::MonitorChip chip() const override;

  // Why the last acquire failed, for the user; empty after success.
  const std::string& failure() const { return failure_; }
  // Whether the last acquire failed because PawnIO is not installed.
  bool absent() const { return absent_; }
  // Whether the last acquire failed because no slot holds an ITE chip whose monitor lies
  // at the ports: PawnIO and LpcIO served, and LpcIO stays loaded on the device.
  bool no_monitor() const { return no_monitor_; }
  // The device LpcIO is loaded on once acquire has loaded it.
  PawnIoDevice& device() { return device_; }
  // What acquire found on each configuration slot it tried, in the order tried.
  const std::vector<SlotFinding>& slots() const;

 private:
  // Calls `function`; ERROR_SUCCESS or the Windows error. `results` gets the results.
  DWORD execute(const PawnIoFunction& function, std::span<const std::uint64_t> arguments,
                std::span<std::uint64_t> results = {});
  // Enters the configuration mode of an ITE chip on `finding.slot`, reads its ID and, for
  // an ITE chip, has LpcIO open its windows and checks that the ports lie in them. Leaves
  // configuration mode on slot 0 only. Fills `finding`; sets module_fault_ when the
  // module cannot serve at all.
  void try_slot(SlotFinding& finding, std::uint16_t first, std::uint16_t count);
  // Whether the ports from `first` lie in the windows LpcIO opened; empty if so, else why not.
  std::string check_windows(std::uint16_t first, std::uint16_t count);
  // Calls `function`; empty on success, else "name: error". A function the module lacks
  // sets module_fault_.
  std::string call(const PawnIoFunction& function, std::initializer_list<std::uint64_t> arguments,
                   std::span<std::uint64_t> results = {});
  bool fail(std::string reason);
  void note(DWORD error, const std::string& call);

  PawnIoDevice& device_;
  std::filesystem::path module_;
  IsaBus& bus_;
  bool ready_ = false;
  bool absent_ = false;
  bool no_monitor_ = false;
  bool failing_ = false;
  std::string failure_;
  std::string module_fault_;
  std::vector<SlotFinding> slots_;
};

}  // namespace platform::windows

#pragma once
// The PawnIO driver at its two control codes, running real, signed modules in PawnPP
// (the Pawn interpreter the driver embeds), their port natives reaching a simulated
// board and their processor and PCI natives a simulated CPU. What it does follows
// PawnIO's published driver:
// - load: the file is a 4-byte little-endian signature length, the signature, then the
//   AMX image. A length beyond the file is INVALID_PARAMETER; the signature (RSA PKCS#1
//   v1.5 over SHA-256 of the image) is checked against PawnIO's public key and a mismatch
//   is INVALID_SIGNATURE; an image the interpreter cannot load is UNSUCCESSFUL; then the
//   module's main runs and its status is the answer (LpcIO: NOT_SUPPORTED but on x64).
//   A second load on one handle is ALREADY_INITIALIZED.
// - execute: a 32-byte NUL-terminated name starting with "ioctl_", then 64-bit cells;
//   INVALID_PARAMETER without a module, for a short or unterminated name or one without
//   the prefix, OBJECT_NAME_NOT_FOUND for a function the module lacks. The input cells
//   after the name (a partial cell ignored) and the output cells share the one buffer
//   of METHOD_BUFFERED: output cell 0 lies over the name. A fault in the bytecode is
//   UNSUCCESSFUL; otherwise the function's status, and on success the whole output.
// - natives: those of the x64 driver that LpcIO, IntelMSR and the AMDFamily modules
//   import, and the PCI accesses of every size (a module importing any other does not
//   load: UNSUCCESSFUL), each refusing a call with another number of arguments as a
//   fault. A by-reference result is written
//   back whatever the status, 0 where the native gave nothing. Statuses come back as
//   64-bit cells, sign-extended.
//   - cpuid(leaf, subleaf, out[4]): EAX, EBX, ECX, EDX, each sign-extended from 32 bits.
//   - msr_read(msr, &value), msr_write(msr, value): the MSR number cut to 32 bits, on the
//     processor the thread is bound to; a missing MSR faults (#GP), which the kernel
//     raises as ACCESS_VIOLATION and the driver returns, the value 0.
//   - pci_config_read/write_byte/word/dword/qword(bus, device, function, offset, ...):
//     device cut to 5 bits and function to 3 (PCI_SLOT_NUMBER); first the slot's vendor
//     ID: no bus NOT_FOUND, 0xFFFF DEVICE_DOES_NOT_EXIST; then the access at any offset:
//     a read moving nothing NOT_FOUND, fewer bytes than asked UNSUCCESSFUL (a write
//     too); a read gives the bytes it got, zero-extended.
//   - virtual_read_dword/qword(va, &value): the tick count fields of KUSER_SHARED_DATA
//     (see `ticks`); any other address faults with ACCESS_VIOLATION.
//   - interrupts_disable/enable: logged only.
// Statuses reach the caller as DeviceIoControl gives them, as Win32 errors.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/windows/ports/pawnio_port_io.hpp"
#include "tests/windows/simulated_cpu.hpp"
#include "tests/windows/simulated_super_io.hpp"

namespace platform::windows {

class SimulatedPawnIo final : public PawnIoDevice {
 public:
  // Every call is appended to `log` as "ioctl_select_slot 0x00" (arguments in hex).
  SimulatedPawnIo(PortBus& bus, std::vector<std::string>& log);
  ~SimulatedPawnIo() override;
  SimulatedPawnIo(const SimulatedPawnIo&) = delete;
  SimulatedPawnIo& operator=(const SimulatedPawnIo&) = delete;

  // A new handle: no module loaded on it.
  DWORD open() override;
  DWORD control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                DWORD& returned) override;

  // What get_arch answers: 1 x86-64, 2 ARM64. Only the answer changes: the ARM64
  // driver lacks the x64 natives (cpuid, io_in_byte, io_out_byte, ...), so there these
  // modules do not even load (UNSUCCESSFUL) and their main's check never runs.
  std::uint64_t arch = 1;
  // The processor and PCI devices the natives reach; without one, CPUID answers zeros,
  // every MSR faults and bus 0 has no device.
  SimulatedCpu* cpu = nullptr;
  // KUSER_SHARED_DATA's TickCountQuad: one tick further at every read, so that a module
  // waiting for the next tick gets it without real time passing. TickCountMultiplier
  // is Windows' usual 15.625 ms a tick.
  std::uint64_t ticks = 0;
  // Whether load checks the signature. Off only where a test alters a module's image on
  // purpose, as PawnIO's unrestricted build for module developers does.
  bool check_signatures = true;
  // The time the module asked to wait (microsleep); no real time passes.
  std::chrono::microseconds slept{0};
  // The lines the module passed to debug_print.
  std::vector<std::string> debug;

  struct Module;

 private:
  std::int32_t load(std::span<const std::uint8_t> file);
  std::int32_t execute(std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

  PortBus& bus_;
  std::vector<std::string>& log_;
  std::unique_ptr<Module> module_;
};

// The signed LpcIO module beside the test program.
std::filesystem::path LpcIoModule();
// A file's bytes.
std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file);
// Writes `bytes` to a file in the temporary directory named `name`; its path.
std::filesystem::path WriteTemporary(const std::string& name, const std::vector<std::uint8_t>& bytes);

}  // namespace platform::windows

#pragma once
// The PawnIO driver at its two control codes, running real, signed modules in PawnPP
// (the Pawn interpreter the driver embeds), their port natives reaching a simulated
// board. What it does follows PawnIO's published driver:
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
// Statuses reach the caller as DeviceIoControl gives them, as Win32 errors.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/windows/ports/pawnio_port_io.hpp"
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

  // What get_arch answers: 1 x86-64, 2 ARM64.
  std::uint64_t arch = 1;
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

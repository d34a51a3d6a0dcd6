#include "tests/windows/simulated_pawnio.hpp"

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/hex_text.hpp"
#include "platform/windows/base/utf16.hpp"
#include "third_party/pawnpp/amx.h"
#include "third_party/pawnpp/amx_loader.h"

namespace platform::windows {
namespace {

// Data memory as the driver lays it out: the module's data in one buffer, the caller's
// input and output buffers mapped beside it.
using Amx = amx::amx<std::uint64_t, amx::memory_manager_harvard<amx::memory_backing_contignous_buffer,
                                                                 amx::memory_backing_paged_buffers<5>>>;
using Loader = amx::loader<Amx>;
using Cell = Amx::cell;

constexpr std::int32_t kSuccess = 0;
constexpr auto kUnsuccessful = static_cast<std::int32_t>(0xC0000001);
constexpr auto kInvalidParameter = static_cast<std::int32_t>(0xC000000D);
constexpr auto kObjectNameNotFound = static_cast<std::int32_t>(0xC0000034);
constexpr auto kAccessViolation = static_cast<std::int32_t>(0xC0000005);
constexpr auto kDeviceDoesNotExist = static_cast<std::int32_t>(0xC00000C0);
constexpr auto kNotFound = static_cast<std::int32_t>(0xC0000225);
constexpr auto kAlreadyInitialized = static_cast<std::int32_t>(0xC0000510);

constexpr DWORD kLoad = 0xA1B22084;     // CTL_CODE(41394, 0x821, METHOD_BUFFERED, FILE_ANY_ACCESS)
constexpr DWORD kExecute = 0xA1B22104;  // CTL_CODE(41394, 0x841, ...)
constexpr std::size_t kNameSize = 32;

// The Win32 error DeviceIoControl reports for `status` (RtlNtStatusToDosError). Windows'
// table for the statuses PawnIO and its modules give, so that the answer does not depend
// on how complete Wine's table is. STATUS_INVALID_SIGNATURE has no Win32 error of its own:
// it comes out as ERROR_MR_MID_NOT_FOUND.
DWORD Win32Error(std::int32_t status) {
  switch (static_cast<std::uint32_t>(status)) {
    case 0xC0000001: return ERROR_GEN_FAILURE;
    case 0xC0000005: return ERROR_NOACCESS;
    case 0xC00000C0: return ERROR_DEV_NOT_EXIST;
    case 0xC000000D: return ERROR_INVALID_PARAMETER;
    case 0xC0000034: return ERROR_FILE_NOT_FOUND;
    case 0xC0000022: return ERROR_ACCESS_DENIED;
    case 0xC00000A3: return ERROR_NOT_READY;
    case 0xC00000BB: return ERROR_NOT_SUPPORTED;
    case 0xC0000225: return ERROR_NOT_FOUND;
    case 0xC0000510: return ERROR_ALREADY_INITIALIZED;
    case 0xC0000017: return ERROR_NOT_ENOUGH_MEMORY;
    case 0xC000A000: return ERROR_MR_MID_NOT_FOUND;
    default: return ERROR_MR_MID_NOT_FOUND;
  }
}

std::filesystem::path BesideProgram(const wchar_t* name) {
  std::wstring path(32768, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return std::filesystem::path(path).parent_path() / name;
}

// Whether `signature` is PawnIO's signature of `image`: RSA PKCS#1 v1.5 over its SHA-256,
// with the public key the driver carries (pawnio-module-signing-key.pem beside the program).
std::int32_t CheckSignature(std::span<const std::uint8_t> image, std::span<const std::uint8_t> signature) {
  const std::vector<std::uint8_t> pem_bytes = ReadBytes(BesideProgram(L"pawnio-module-signing-key.pem"));
  const std::string pem(pem_bytes.begin(), pem_bytes.end());
  DWORD der_size = 0;
  if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &der_size, nullptr, nullptr)) {
    return kUnsuccessful;
  }
  std::vector<BYTE> der(der_size);
  CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der.data(), &der_size, nullptr, nullptr);
  CERT_PUBLIC_KEY_INFO* info = nullptr;
  DWORD info_size = 0;
  if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(), der_size, CRYPT_DECODE_ALLOC_FLAG,
                           nullptr, &info, &info_size)) {
    return kUnsuccessful;
  }
  BCRYPT_KEY_HANDLE key = nullptr;
  const BOOL imported = CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key);
  LocalFree(info);
  if (!imported) return kUnsuccessful;

  BCRYPT_ALG_HANDLE sha256 = nullptr;
  std::array<UCHAR, 32> hash{};
  NTSTATUS status = BCryptOpenAlgorithmProvider(&sha256, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
  if (status >= 0) {
    BCRYPT_HASH_HANDLE hashing = nullptr;
    status = BCryptCreateHash(sha256, &hashing, nullptr, 0, nullptr, 0, 0);
    if (status >= 0) {
      status = BCryptHashData(hashing, const_cast<PUCHAR>(image.data()), static_cast<ULONG>(image.size()), 0);
      if (status >= 0) status = BCryptFinishHash(hashing, hash.data(), static_cast<ULONG>(hash.size()), 0);
      BCryptDestroyHash(hashing);
    }
    BCryptCloseAlgorithmProvider(sha256, 0);
  }
  if (status >= 0) {
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM};
    status = BCryptVerifySignature(key, &padding, hash.data(), static_cast<ULONG>(hash.size()),
                                   const_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()),
                                   BCRYPT_PAD_PKCS1);
  }
  BCryptDestroyKey(key);
  return static_cast<std::int32_t>(status);
}

}  // namespace

// A loaded module: its interpreter, the ports and the device its natives answer for.
struct SimulatedPawnIo::Module {
  Module(SimulatedPawnIo& owner, PortBus& ports) : device(owner), bus(ports) {}
  SimulatedCpu& cpu() { return device.cpu != nullptr ? *device.cpu : no_cpu; }
  SimulatedPawnIo& device;
  PortBus& bus;
  SimulatedCpu no_cpu;
  std::vector<std::uint8_t> image;
  Loader loader;
};

namespace {

SimulatedPawnIo::Module& Of(void* user) { return *static_cast<SimulatedPawnIo::Module*>(user); }

// A native's arguments: cells on the interpreter's stack; a wrong count is a fault, as
// in the driver.
bool Arguments(Amx* amx, Cell argc, Cell argv, std::span<Cell> values) {
  if (argc != values.size()) return false;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Cell* value = amx->data_v2p(argv + i * sizeof(Cell));
    if (value == nullptr) return false;
    values[i] = *value;
  }
  return true;
}

amx::error IoOutByte(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 2> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  Of(user).bus.out(static_cast<std::uint16_t>(args[0]), static_cast<std::uint8_t>(args[1]));
  result = 0;
  return amx::error::success;
}

amx::error IoInByte(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 1> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  result = Of(user).bus.in(static_cast<std::uint16_t>(args[0]));
  return amx::error::success;
}

amx::error Microsleep(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 1> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  Of(user).device.slept += std::chrono::microseconds(args[0]);
  result = kSuccess;
  return amx::error::success;
}

amx::error GetArch(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  if (!Arguments(amx, argc, argv, {})) return amx::error::invalid_operand;
  result = Of(user).device.arch;
  return amx::error::success;
}

// debug_print(fmt[], ...): one character a cell; %d %i %u %x %X take the next argument,
// passed by reference.
amx::error DebugPrint(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  result = kSuccess;
  if (argc == 0) return amx::error::invalid_operand;
  const Cell* format = amx->data_v2p(argv);
  if (format == nullptr) return amx::error::access_violation;
  std::string line;
  Cell next = 1;
  bool escape = false;
  for (Cell at = *format;; at += sizeof(Cell)) {
    const Cell* character = amx->mem.data().translate(at);
    if (character == nullptr) return amx::error::access_violation;
    const auto c = static_cast<char>(*character);
    if (c == 0) break;
    if (!escape) {
      escape = c == '%';
      if (!escape) line += c;
      continue;
    }
    escape = false;
    if (c == '%') {
      line += c;
      continue;
    }
    const Cell* reference = next < argc ? amx->data_v2p(argv + next * sizeof(Cell)) : nullptr;
    const Cell* value = reference == nullptr ? nullptr : amx->mem.data().translate(*reference);
    if (value == nullptr) return amx::error::invalid_operand;
    ++next;
    // The driver prints with %llx and %llX.
    std::string digits = Hex(static_cast<unsigned>(*value)).substr(2);
    if (c == 'x') {
      std::transform(digits.begin(), digits.end(), digits.begin(),
                     [](char d) { return static_cast<char>(std::tolower(static_cast<unsigned char>(d))); });
    }
    line += c == 'x' || c == 'X' ? digits : std::to_string(*value);
  }
  Of(user).device.debug.push_back(line);
  return amx::error::success;
}

// A status as the driver's natives return it: sign-extended to the cell.
Cell StatusCell(std::int32_t status) { return static_cast<Cell>(std::int64_t{status}); }

// The cell at `address` of the module's memory, where a by-reference argument points;
// nullptr outside it.
Cell* Reference(Amx* amx, Cell address) { return amx->mem.data().translate(address); }

std::string Hex64(std::uint64_t value) {
  std::array<char, 24> text{};
  std::snprintf(text.data(), text.size(), "0x%llX", static_cast<unsigned long long>(value));
  return text.data();
}

amx::error Cpuid(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 3> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  std::array<Cell*, 4> out{};
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = Reference(amx, args[2] + i * sizeof(Cell));
    if (out[i] == nullptr) return amx::error::access_violation;
  }
  SimulatedCpu& cpu = Of(user).cpu();
  const auto leaf = static_cast<std::uint32_t>(args[0]);
  const auto subleaf = static_cast<std::uint32_t>(args[1]);
  cpu.calls.push_back("cpuid " + Hex64(leaf) + " " + Hex64(subleaf));
  // The driver takes the registers as int: each is sign-extended into its cell.
  const CpuidLeaf registers = cpu.cpuid(leaf, subleaf);
  for (std::size_t i = 0; i < out.size(); ++i) *out[i] = StatusCell(static_cast<std::int32_t>(registers[i]));
  result = 0;
  return amx::error::success;
}

amx::error MsrRead(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 2> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  Cell* value = Reference(amx, args[1]);
  if (value == nullptr) return amx::error::access_violation;
  SimulatedCpu& cpu = Of(user).cpu();
  const auto msr = static_cast<std::uint32_t>(args[0]);
  cpu.calls.push_back("msr_read " + Hex64(msr) + " on " + std::to_string(cpu.bound()));
  const std::optional<std::uint64_t> read = cpu.read_msr(msr);
  *value = read.value_or(0);
  result = StatusCell(read ? kSuccess : kAccessViolation);
  return amx::error::success;
}

amx::error MsrWrite(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 2> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  SimulatedCpu& cpu = Of(user).cpu();
  const auto msr = static_cast<std::uint32_t>(args[0]);
  cpu.calls.push_back("msr_write " + Hex64(msr) + " " + Hex64(args[1]) + " on " + std::to_string(cpu.bound()));
  result = StatusCell(cpu.write_msr(msr, args[1]) ? kSuccess : kAccessViolation);
  return amx::error::success;
}

template <const char* kName>
amx::error Interrupts(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  if (!Arguments(amx, argc, argv, {})) return amx::error::invalid_operand;
  Of(user).cpu().calls.push_back(kName);
  result = 0;
  return amx::error::success;
}
constexpr char kInterruptsDisable[] = "interrupts_disable";
constexpr char kInterruptsEnable[] = "interrupts_enable";

// The function that bus, device and function arguments name: the driver puts the device
// into PCI_SLOT_NUMBER's 5 bits and the function into its 3.
PciAddress Function(std::span<const Cell> args) {
  return {static_cast<std::uint32_t>(args[0]), static_cast<std::uint32_t>(args[1] & 0x1F),
          static_cast<std::uint32_t>(args[2] & 0x7)};
}

std::string Text(PciAddress at) {
  return std::to_string(at.bus) + ':' + std::to_string(at.device) + '.' + std::to_string(at.function);
}

constexpr const char* SizeName(std::size_t bytes) {
  return bytes == 1 ? "byte" : bytes == 2 ? "word" : bytes == 4 ? "dword" : "qword";
}

// The driver's check before every configuration access: the slot's vendor ID, where the
// HAL gives nothing for a bus that is not there and 0xFFFF for an empty slot.
std::int32_t SlotStatus(SimulatedCpu& cpu, PciAddress at) {
  std::array<std::uint8_t, 2> vendor{};
  const std::uint32_t moved = cpu.pci_read(at, 0, vendor);
  if (moved == 0) return kNotFound;
  if (moved == 2 && vendor[0] == 0xFF && vendor[1] == 0xFF) return kDeviceDoesNotExist;
  return kSuccess;
}

template <std::size_t kBytes>
amx::error PciConfigRead(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 5> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  Cell* value = Reference(amx, args[4]);
  if (value == nullptr) return amx::error::access_violation;
  SimulatedCpu& cpu = Of(user).cpu();
  const PciAddress at = Function(args);
  const auto offset = static_cast<std::uint32_t>(args[3]);
  cpu.calls.push_back(std::string("pci_config_read_") + SizeName(kBytes) + ' ' + Text(at) + ' ' + Hex64(offset));
  std::array<std::uint8_t, kBytes> bytes{};
  std::int32_t status = SlotStatus(cpu, at);
  if (status == kSuccess) {
    const std::uint32_t moved = cpu.pci_read(at, offset, bytes);
    status = moved == 0                 ? kNotFound
             : moved == 2 && kBytes != 2 ? kDeviceDoesNotExist
             : moved != kBytes           ? kUnsuccessful
                                         : kSuccess;
  }
  *value = 0;
  for (std::size_t i = 0; i < kBytes; ++i) *value |= Cell{bytes[i]} << (8 * i);
  result = StatusCell(status);
  return amx::error::success;
}

template <std::size_t kBytes>
amx::error PciConfigWrite(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 5> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  SimulatedCpu& cpu = Of(user).cpu();
  const PciAddress at = Function(args);
  const auto offset = static_cast<std::uint32_t>(args[3]);
  std::array<std::uint8_t, kBytes> bytes{};
  for (std::size_t i = 0; i < kBytes; ++i) bytes[i] = static_cast<std::uint8_t>(args[4] >> (8 * i));
  Cell written = 0;
  for (std::size_t i = 0; i < kBytes; ++i) written |= Cell{bytes[i]} << (8 * i);
  cpu.calls.push_back(std::string("pci_config_write_") + SizeName(kBytes) + ' ' + Text(at) + ' ' + Hex64(offset) +
                      ' ' + Hex64(written));
  std::int32_t status = SlotStatus(cpu, at);
  if (status == kSuccess) status = cpu.pci_write(at, offset, bytes) == kBytes ? kSuccess : kUnsuccessful;
  result = StatusCell(status);
  return amx::error::success;
}

constexpr std::uint64_t kUserSharedData = 0xFFFFF78000000000;  // KUSER_SHARED_DATA, mapped in every process
constexpr std::uint64_t kTickCountMultiplier = kUserSharedData + 0x004;  // ms a tick, in 2^-24 ms
constexpr std::uint64_t kTickCountQuad = kUserSharedData + 0x320;        // ticks since boot
constexpr std::uint32_t kUsualTickMultiplier = 0x0FA00000;               // 15.625 ms

// virtual_read_dword/qword: only the tick count fields are mapped.
template <std::size_t kBytes>
amx::error VirtualRead(Amx* amx, Loader*, void* user, Cell argc, Cell argv, Cell& result) {
  std::array<Cell, 2> args{};
  if (!Arguments(amx, argc, argv, args)) return amx::error::invalid_operand;
  Cell* value = Reference(amx, args[1]);
  if (value == nullptr) return amx::error::access_violation;
  SimulatedPawnIo::Module& module = Of(user);
  module.cpu().calls.push_back(std::string("virtual_read_") + SizeName(kBytes) + ' ' + Hex64(args[0]));
  std::optional<Cell> read;
  if (kBytes == 8 && args[0] == kTickCountQuad) read = module.device.ticks++;
  if (kBytes == 4 && args[0] == kTickCountMultiplier) read = kUsualTickMultiplier;
  *value = read.value_or(0);
  result = StatusCell(read ? kSuccess : kAccessViolation);
  return amx::error::success;
}

constexpr std::array<Loader::native_arg, 20> kNatives{{
    {"io_out_byte", &IoOutByte},
    {"io_in_byte", &IoInByte},
    {"microsleep", &Microsleep},
    {"get_arch", &GetArch},
    {"debug_print", &DebugPrint},
    {"cpuid", &Cpuid},
    {"msr_read", &MsrRead},
    {"msr_write", &MsrWrite},
    {"interrupts_disable", &Interrupts<kInterruptsDisable>},
    {"interrupts_enable", &Interrupts<kInterruptsEnable>},
    {"pci_config_read_byte", &PciConfigRead<1>},
    {"pci_config_read_word", &PciConfigRead<2>},
    {"pci_config_read_dword", &PciConfigRead<4>},
    {"pci_config_read_qword", &PciConfigRead<8>},
    {"pci_config_write_byte", &PciConfigWrite<1>},
    {"pci_config_write_word", &PciConfigWrite<2>},
    {"pci_config_write_dword", &PciConfigWrite<4>},
    {"pci_config_write_qword", &PciConfigWrite<8>},
    {"virtual_read_dword", &VirtualRead<4>},
    {"virtual_read_qword", &VirtualRead<8>},
}};

std::uint64_t Cell64(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i) value |= std::uint64_t{bytes[i]} << (8 * i);
  return value;
}

}  // namespace

SimulatedPawnIo::SimulatedPawnIo(PortBus& bus, std::vector<std::string>& log) : bus_(bus), log_(log) {}

SimulatedPawnIo::~SimulatedPawnIo() = default;

DWORD SimulatedPawnIo::open() {
  module_.reset();
  return ERROR_SUCCESS;
}

DWORD SimulatedPawnIo::control(DWORD code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                               DWORD& returned) {
  returned = 0;
  std::int32_t status = kInvalidParameter;
  if (code == kLoad) {
    status = load(in);
  } else if (code == kExecute) {
    status = execute(in, out);
    if (status >= 0) returned = static_cast<DWORD>(out.size());
  }
  return status >= 0 ? ERROR_SUCCESS : Win32Error(status);
}

std::int32_t SimulatedPawnIo::load(std::span<const std::uint8_t> file) {
  if (module_) return kAlreadyInitialized;
  if (file.size() < 4) return kInvalidParameter;
  const std::uint32_t signature_size =
      file[0] | file[1] << 8 | file[2] << 16 | static_cast<std::uint32_t>(file[3]) << 24;
  if (signature_size > file.size() - 4) return kInvalidParameter;
  const auto signature = file.subspan(4, signature_size);
  const auto image = file.subspan(4 + signature_size);
  if (check_signatures) {
    if (const std::int32_t status = CheckSignature(image, signature); status < 0) return status;
  }

  auto module = std::make_unique<Module>(*this, bus_);
  module->image.assign(image.begin(), image.end());
  const Loader::callbacks_arg callbacks{kNatives.data(), kNatives.size(), nullptr, nullptr, module.get()};
  if (module->loader.init(module->image.data(), module->image.size(), callbacks) != amx::loader_error::success) {
    return kUnsuccessful;
  }
  if (const Cell main = module->loader.get_main(); main != 0) {
    Cell result = 0;
    if (module->loader.amx.call(main, result) != amx::error::success) return kUnsuccessful;
    if (static_cast<std::int32_t>(result) < 0) return static_cast<std::int32_t>(result);
  }
  module_ = std::move(module);
  return kSuccess;
}

std::int32_t SimulatedPawnIo::execute(std::span<const std::uint8_t> in, std::span<std::uint8_t> out) {
  if (!module_) return kInvalidParameter;
  if (in.size() < kNameSize) return kInvalidParameter;
  const auto* text = reinterpret_cast<const char*>(in.data());
  const std::string name(text, strnlen(text, kNameSize));
  if (name.size() == kNameSize || name.rfind("ioctl_", 0) != 0) return kInvalidParameter;

  // The arguments as the module sees them: whole cells after the name.
  const std::size_t in_cells = in.size() / sizeof(Cell) - kNameSize / sizeof(Cell);
  const std::size_t out_cells = out.size() / sizeof(Cell);
  std::string call = name;
  for (std::size_t i = 0; i < in_cells; ++i) {
    call += ' ' + Hex(static_cast<unsigned>(Cell64(in.subspan(kNameSize + 8 * i))), 2);
  }
  log_.push_back(call);

  const Cell function = module_->loader.get_public(name.c_str());
  if (function == 0) return kObjectNameNotFound;

  // METHOD_BUFFERED: one buffer for both directions, as long as the longer of them.
  std::vector<Cell> buffer((std::max(in.size(), out.size()) + sizeof(Cell) - 1) / sizeof(Cell), 0);
  std::memcpy(buffer.data(), in.data(), in.size());
  auto& amx = module_->loader.amx;
  Cell in_va = 0;
  Cell out_va = 0;
  if (!amx.mem.data().map(buffer.data() + kNameSize / sizeof(Cell), in_cells, in_va)) return kUnsuccessful;
  if (!amx.mem.data().map(buffer.data(), out_cells, out_va)) {
    amx.mem.data().unmap(in_va, in_cells);
    return kUnsuccessful;
  }
  Cell result = 0;
  const amx::error error = amx.call(function, result, {in_va - amx.DAT, in_cells, out_va - amx.DAT, out_cells});
  amx.mem.data().unmap(out_va, out_cells);
  amx.mem.data().unmap(in_va, in_cells);
  if (error != amx::error::success) return kUnsuccessful;
  const auto status = static_cast<std::int32_t>(result);
  if (status >= 0) std::memcpy(out.data(), buffer.data(), out.size());
  return status;
}

std::filesystem::path LpcIoModule() { return BesideProgram(L"LpcIO.bin"); }

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  std::ifstream stream(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::filesystem::path WriteTemporary(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace platform::windows

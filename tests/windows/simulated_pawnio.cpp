#include "tests/windows/simulated_pawnio.hpp"

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

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
  SimulatedPawnIo& device;
  PortBus& bus;
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
    line += c == 'x' || c == 'X' ? Hex(static_cast<unsigned>(*value)).substr(2) : std::to_string(*value);
  }
  Of(user).device.debug.push_back(line);
  return amx::error::success;
}

constexpr std::array<Loader::native_arg, 5> kNatives{{
    {"io_out_byte", &IoOutByte},
    {"io_in_byte", &IoInByte},
    {"microsleep", &Microsleep},
    {"get_arch", &GetArch},
    {"debug_print", &DebugPrint},
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

#include "platform/windows/sensors/cpu_sensors.hpp"

#include <algorithm>
#include <array>
#include <charconv>

#include "platform/cpu_thermal.hpp"
#include "platform/hex_text.hpp"
#include "platform/windows/base/utf16.hpp"
#include "platform/windows/base/win_error.hpp"

namespace platform::windows {
namespace {

constexpr PawnIoFunction kReadMsr{"ioctl_read_msr", 1, 1};          // IntelMSR: MSR -> value
constexpr PawnIoFunction kReadSmn{"ioctl_read_smn", 1, 1};          // AMDFamily17: SMN address -> value
constexpr PawnIoFunction kReadMiscctl{"ioctl_read_miscctl", 2, 1};  // AMDFamily10: node, offset -> value
constexpr PawnIoFunction kReadSmu{"ioctl_read_smu", 1, 1};          // AMDFamily10: SMU index -> value
constexpr PawnIoFunction kThermtrip{"ioctl_get_thermtrip", 2, 1};   // AMDFamily0F: node, core -> value

constexpr wchar_t kIntelMsr[] = L"IntelMSR.bin";
constexpr wchar_t kAmdFamily17[] = L"AMDFamily17.bin";
constexpr wchar_t kAmdFamily10[] = L"AMDFamily10.bin";
constexpr wchar_t kAmdFamily0F[] = L"AMDFamily0F.bin";

std::string Register(const CpuidLeaf& leaf, std::initializer_list<std::size_t> order) {
  std::string text;
  for (const std::size_t index : order) {
    for (int byte = 0; byte < 4; ++byte) text += static_cast<char>((leaf[index] >> (8 * byte)) & 0xFF);
  }
  return text;
}

// "AuthenticAMD, Familie 0x19, Modell 0x21".
std::string CpuText(const CpuIdentity& cpu) {
  std::string text = cpu.vendor + ", Familie " + Hex(cpu.family) + ", Modell " + Hex(cpu.model);
  if (!cpu.brand.empty()) text += " (" + cpu.brand + ")";
  return text;
}

}  // namespace

CpuIdentity IdentifyCpu(Processor& processor) {
  CpuIdentity cpu;
  const CpuidLeaf zero = processor.cpuid(0);
  cpu.vendor = Register(zero, {1, 3, 2});
  const CpuidLeaf one = processor.cpuid(1);
  const unsigned base_family = (one[0] >> 8) & 0xF;
  cpu.family = base_family == 0xF ? base_family + ((one[0] >> 20) & 0xFF) : base_family;
  cpu.model = (one[0] >> 4) & 0xF;
  if (base_family == 0x6 || base_family == 0xF) cpu.model |= ((one[0] >> 16) & 0xF) << 4;
  cpu.stepping = one[0] & 0xF;
  if (zero[0] >= 6) {
    const CpuidLeaf thermal = processor.cpuid(6);
    cpu.digital_sensor = (thermal[0] & 0x1) != 0;
    cpu.package_sensor = (thermal[0] & 0x40) != 0;
  }
  const std::uint32_t extended = processor.cpuid(0x80000000)[0];
  if (extended >= 0x80000001) cpu.extended_ebx = processor.cpuid(0x80000001)[1];
  if (extended >= 0x80000004) {
    for (std::uint32_t leaf = 0x80000002; leaf <= 0x80000004; ++leaf) cpu.brand += Register(processor.cpuid(leaf), {0, 1, 2, 3});
    cpu.brand.resize(cpu.brand.find('\0') == std::string::npos ? cpu.brand.size() : cpu.brand.find('\0'));
    const auto first = cpu.brand.find_first_not_of(' ');
    cpu.brand = first == std::string::npos ? std::string() : cpu.brand.substr(first, cpu.brand.find_last_not_of(' ') - first + 1);
  }
  return cpu;
}

std::optional<unsigned> InputNumber(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix)) return std::nullopt;
  unsigned number = 0;
  const char* end = name.data() + name.size();
  const auto parsed = std::from_chars(name.data() + prefix.size(), end, number);
  if (parsed.ec != std::errc() || parsed.ptr != end) return std::nullopt;
  return number;
}

std::wstring CpuModuleFor(const CpuIdentity& cpu) {
  if (cpu.vendor == "GenuineIntel") return kIntelMsr;
  if (cpu.vendor != "AuthenticAMD") return {};
  if (cpu.family >= 0x17 && cpu.family <= 0x1A) return kAmdFamily17;
  if (cpu.family >= 0x10 && cpu.family <= 0x16) return kAmdFamily10;
  if (cpu.family == 0x0F) return kAmdFamily0F;
  return {};
}

CpuSensors::CpuSensors(Processor& processor, DeviceFactory open_device, std::filesystem::path directory, IsaBus& pci)
    : processor_(processor), open_device_(std::move(open_device)), directory_(std::move(directory)), pci_(pci) {}

std::string CpuSensors::module() const { return Narrow(module_); }

bool CpuSensors::open() {
  device_.reset();
  failure_.clear();
  tjmax_.reset();
  cpu_ = IdentifyCpu(processor_);
  module_ = CpuModuleFor(cpu_);
  if (module_.empty()) {
    failure_ = "F\u00fcr diesen Prozessor (" + CpuText(cpu_) + ") hat PawnIO kein Temperaturmodul";
    return false;
  }
  if (module_ == kIntelMsr && !cpu_.digital_sensor) {
    failure_ = "Dieser Intel-Prozessor (" + CpuText(cpu_) + ") hat keinen digitalen Temperatursensor (CPUID 06h)";
    return false;
  }
  const std::filesystem::path file = directory_ / module_;
  if (std::error_code error; !std::filesystem::is_regular_file(file, error)) {
    failure_ = "Das PawnIO-Modul " + module() + " fehlt: es geh\u00f6rt neben lumatext.exe (" + Narrow(file.wstring()) + ")";
    return false;
  }
  // A handle of its own: PawnIO runs one module per handle.
  auto device = open_device_();
  if (const DWORD opened = device->open(); opened != ERROR_SUCCESS) {
    failure_ = "PawnIO ist nicht zu \u00f6ffnen: " + ErrorText(opened);
    return false;
  }
  if (const DWORD loaded = PawnIoLoad(*device, file); loaded != ERROR_SUCCESS) {
    failure_ = loaded == ERROR_NOT_SUPPORTED
                   ? "Das Modul " + module() + " lehnt diesen Prozessor ab (" + CpuText(cpu_) + ")"
                   : "PawnIO hat das Modul " + module() + " nicht geladen (" +
                         (loaded == ERROR_MR_MID_NOT_FOUND ? "Signatur ung\u00fcltig, Fehler 317" : ErrorText(loaded)) +
                         "): es muss die unver\u00e4nderte, von PawnIO signierte Datei sein";
    return false;
  }
  device_ = std::move(device);
  return true;
}

std::optional<std::uint64_t> CpuSensors::call(const PawnIoFunction& function,
                                              std::initializer_list<std::uint64_t> arguments) {
  if (!device_) return std::nullopt;
  std::array<std::uint64_t, 1> result{};
  const DWORD error = PawnIoExecute(*device_, function, std::span(arguments.begin(), arguments.size()), result);
  if (error != ERROR_SUCCESS) return std::nullopt;
  return result[0];
}

std::optional<std::uint64_t> CpuSensors::read_msr(std::uint32_t msr) { return call(kReadMsr, {msr}); }

std::int64_t CpuSensors::tjmax() {
  if (tjmax_) return *tjmax_;
  if (const auto target = read_msr(kIntelTemperatureTarget)) tjmax_ = IntelTjMax(*target);
  // Core 2 and the early Atoms have no MSR_TEMPERATURE_TARGET.
  estimated_ = !tjmax_;
  if (!tjmax_) tjmax_ = IntelTjMaxEstimate(cpu_.model, cpu_.stepping);
  return *tjmax_;
}

std::vector<std::string> CpuSensors::labels() {
  std::vector<std::string> labels;
  if (module_ == kIntelMsr) {
    if (cpu_.package_sensor) labels.emplace_back("package");
    for (unsigned core = 0; core < processor_.count(); ++core) labels.push_back("core" + std::to_string(core));
  } else if (module_ == kAmdFamily0F) {
    labels.emplace_back("core0");
    if (processor_.count() > 1) labels.emplace_back("core1");
  } else {
    labels.emplace_back("Tctl");
    if (AmdTctlOffset(cpu_.family, cpu_.brand) != 0) labels.emplace_back("Tdie");
  }
  return labels;
}

std::vector<HwmonInput> CpuSensors::read_all() {
  std::vector<HwmonInput> inputs;
  int index = 0;
  for (const std::string& label : labels()) {
    ++index;
    if (const auto value = read(label)) inputs.push_back({index, label, *value, "cpu:" + label});
  }
  return inputs;
}

std::optional<std::int64_t> CpuSensors::read(std::string_view label) {
  if (!device_) return std::nullopt;
  return module_ == kIntelMsr ? intel(label) : amd(label);
}

std::optional<std::int64_t> CpuSensors::intel(std::string_view label) {
  const std::int64_t limit = tjmax();
  if (label == "package") {
    const auto status = read_msr(kIntelPackageThermStatus);
    if (!status) return std::nullopt;
    return IntelPackageTemperature(limit, *status);
  }
  const auto core = InputNumber(label, "core");
  // Each core's sensor answers only on that core: the read runs on a thread bound there.
  if (!core || *core >= processor_.count() || !processor_.bind(*core)) return std::nullopt;
  const auto status = read_msr(kIntelThermStatus);
  processor_.unbind();
  if (!status) return std::nullopt;
  return IntelCoreTemperature(limit, *status);
}

std::optional<std::int64_t> CpuSensors::amd(std::string_view label) {
  // The PCI configuration accesses (an index register, then its data) are shared with the
  // other monitoring tools: under their mutex.
  const auto hold = pci_.hold();
  if (module_ == kAmdFamily17) {
    const auto value = call(kReadSmn, {kAmdZenTemperatureSmn});
    if (!value) return std::nullopt;
    const std::int64_t tctl = AmdZenTctl(static_cast<std::uint32_t>(*value));
    if (label == "Tctl") return tctl;
    if (label == "Tdie") return std::max<std::int64_t>(tctl - AmdTctlOffset(cpu_.family, cpu_.brand), 0);
    return std::nullopt;
  }
  if (module_ == kAmdFamily10) {
    if (label != "Tctl") return std::nullopt;
    // Never the module's TSC multiplier measurement: it freezes some machines.
    const auto value = AmdK10ThroughSmu(cpu_.family, cpu_.model) ? call(kReadSmu, {kAmdF15M60TemperatureSmu})
                                                                 : call(kReadMiscctl, {0, kAmdK10TemperatureRegister});
    if (!value) return std::nullopt;
    return AmdK10Temperature(static_cast<std::uint32_t>(*value));
  }
  if (label != "core0" && label != "core1") return std::nullopt;
  const auto value = call(kThermtrip, {0, label == "core1" ? 1u : 0u});
  if (!value) return std::nullopt;
  return AmdK8Temperature(static_cast<std::uint32_t>(*value), AmdK8RevisionGDesktop(cpu_.model, cpu_.extended_ebx));
}

}  // namespace platform::windows

#include "tests/windows/simulated_cpu.hpp"

#include <algorithm>

namespace platform::windows {
namespace {

constexpr std::uint32_t kExtendedLeaves = 0x80000000;  // leaf 0x80000000: the highest extended leaf
constexpr std::uint32_t kBrandLeaf = 0x80000002;       // leaves 0x80000002-0x80000004: the brand string
constexpr std::uint32_t kConfigurationBytes = 256;     // what the legacy configuration mechanism addresses
constexpr std::uint32_t kAmdVendor = 0x1022;
constexpr std::uint32_t kSmnIndex = 0x60;         // host bridge: the SMN address
constexpr std::uint32_t kSmnData = 0x64;          // host bridge: the SMN register at that address
constexpr unsigned kFirstNodeDevice = 24;         // processor node n's functions are device 24 + n
constexpr std::uint32_t kThermtripStatus = 0xE4;  // family 0Fh, function 3: thermtrip status
constexpr std::uint32_t kCoreSelect = 1u << 2;    // in the thermtrip status: the core to read

// The four characters from `text[at]` as CPUID returns them in one register.
std::uint32_t Characters(std::string_view text, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && at + i < text.size(); ++i) {
    value |= std::uint32_t{static_cast<std::uint8_t>(text[at + i])} << (8 * i);
  }
  return value;
}

}  // namespace

CpuidLeaf SimulatedCpu::cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  const auto found = leaves_.find({leaf, subleaf});
  return found == leaves_.end() ? CpuidLeaf{} : found->second;
}

bool SimulatedCpu::bind(unsigned index) {
  if (index >= processors) return false;
  bound_ = index;
  return true;
}

void SimulatedCpu::unbind() { bound_.reset(); }

void SimulatedCpu::set_identity(std::string_view vendor, unsigned family, unsigned model, unsigned stepping) {
  set_cpuid(0, 0, {cpuid(0)[0], Characters(vendor, 0), Characters(vendor, 8), Characters(vendor, 4)});
  const unsigned base_family = std::min(family, 0xFu);
  const std::uint32_t signature = (stepping & 0xF) | (model & 0xF) << 4 | base_family << 8 | (model >> 4 & 0xF) << 16 |
                                  ((family - base_family) & 0xFF) << 20;
  CpuidLeaf leaf1 = cpuid(1);
  leaf1[0] = signature;
  set_cpuid(1, 0, leaf1);
  family_ = family;
  model_ = model;
}

void SimulatedCpu::set_brand(std::string_view brand) {
  for (std::uint32_t leaf = 0; leaf < 3; ++leaf) {
    CpuidLeaf registers{};
    for (std::size_t i = 0; i < 4; ++i) registers[i] = Characters(brand.substr(0, 48), 16 * leaf + 4 * i);
    set_cpuid(kBrandLeaf + leaf, 0, registers);
  }
}

void SimulatedCpu::set_cpuid(std::uint32_t leaf, std::uint32_t subleaf, CpuidLeaf value) {
  leaves_[{leaf, subleaf}] = value;
  const std::uint32_t first = leaf >= kExtendedLeaves ? kExtendedLeaves : 0;
  std::uint32_t& highest = leaves_[{first, 0}][0];
  highest = std::max(highest, leaf);
}

void SimulatedCpu::set_msr(std::uint32_t msr, std::uint64_t value) { msrs_[msr] = value; }

void SimulatedCpu::set_msr_on(unsigned processor, std::uint32_t msr, std::uint64_t value) {
  own_msrs_[{processor, msr}] = value;
}

std::optional<std::uint64_t> SimulatedCpu::msr_on(unsigned processor, std::uint32_t msr) const {
  if (const auto own = own_msrs_.find({processor, msr}); own != own_msrs_.end()) return own->second;
  if (const auto all = msrs_.find(msr); all != msrs_.end()) return all->second;
  return std::nullopt;
}

std::optional<std::uint64_t> SimulatedCpu::read_msr(std::uint32_t msr) const { return msr_on(bound(), msr); }

bool SimulatedCpu::write_msr(std::uint32_t msr, std::uint64_t value) {
  if (!read_msr(msr)) return false;
  set_msr_on(bound(), msr, value);
  return true;
}

void SimulatedCpu::set_pci(PciAddress at, std::uint32_t offset, std::uint32_t value) { pci_[at][offset / 4] = value; }

std::uint32_t SimulatedCpu::pci_read(PciAddress at, std::uint32_t offset, std::span<std::uint8_t> buffer) const {
  if (!bus_present(at.bus)) return 0;
  const auto found = pci_.find(at);
  if (found == pci_.end()) {
    // An empty slot answers its vendor ID, 0xFFFF, and nothing after it.
    if (offset >= 2) return 0;
    const auto size = std::min<std::size_t>(buffer.size(), 2 - offset);
    std::fill_n(buffer.begin(), size, std::uint8_t{0xFF});
    return static_cast<std::uint32_t>(size);
  }
  const auto size =
      offset >= kConfigurationBytes ? 0 : std::min<std::size_t>(buffer.size(), kConfigurationBytes - offset);
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<std::uint32_t>(offset + i);
    buffer[i] = static_cast<std::uint8_t>(register_value(at, found->second, byte & ~3u) >> (8 * (byte % 4)));
  }
  return static_cast<std::uint32_t>(size);
}

std::uint32_t SimulatedCpu::pci_write(PciAddress at, std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  if (!bus_present(at.bus)) return 0;
  const auto found = pci_.find(at);
  if (found == pci_.end()) return 0;
  Registers& registers = found->second;
  const auto size =
      offset >= kConfigurationBytes ? 0 : std::min<std::size_t>(bytes.size(), kConfigurationBytes - offset);
  for (std::size_t i = 0; i < size; ++i) {
    const auto byte = static_cast<std::uint32_t>(offset + i);
    std::uint32_t& dword = registers[byte / 4];
    const unsigned shift = 8 * (byte % 4);
    dword = (dword & ~(0xFFu << shift)) | std::uint32_t{bytes[i]} << shift;
    if (amd_host_bridge(at) && (byte & ~3u) == kSmnData) smn_[registers[kSmnIndex / 4]] = dword;
  }
  return static_cast<std::uint32_t>(size);
}

void SimulatedCpu::set_smn(std::uint32_t address, std::uint32_t value) { smn_[address] = value; }

std::uint32_t SimulatedCpu::smn(std::uint32_t address) const {
  const auto found = smn_.find(address);
  return found == smn_.end() ? 0 : found->second;
}

void SimulatedCpu::set_thermtrip(unsigned node, unsigned core, std::uint32_t value) {
  thermtrip_[{node, core}] = value;
}

std::uint32_t SimulatedCpu::register_value(PciAddress at, const Registers& registers, std::uint32_t offset) const {
  const std::uint32_t stored = registers[offset / 4];
  if (amd_host_bridge(at) && offset == kSmnData) return smn(registers[kSmnIndex / 4]);
  if (thermtrip(at, offset)) {
    const unsigned core = ((stored & kCoreSelect) != 0) != (model_ >= 0x40) ? 1 : 0;
    const auto found = thermtrip_.find({at.device - kFirstNodeDevice, core});
    return ((found == thermtrip_.end() ? 0 : found->second) & ~kCoreSelect) | (stored & kCoreSelect);
  }
  return stored;
}

bool SimulatedCpu::bus_present(std::uint32_t bus) const {
  return bus == 0 || std::any_of(pci_.begin(), pci_.end(), [bus](const auto& entry) { return entry.first.bus == bus; });
}

bool SimulatedCpu::amd_host_bridge(PciAddress at) const {
  if (at != PciAddress{}) return false;
  const auto found = pci_.find(at);
  return found != pci_.end() && (found->second[0] & 0xFFFF) == kAmdVendor;
}

bool SimulatedCpu::thermtrip(PciAddress at, std::uint32_t offset) const {
  return family_ == 0x0F && at.bus == 0 && at.device >= kFirstNodeDevice && at.device < kFirstNodeDevice + 8 &&
         at.function == 3 && offset == kThermtripStatus;
}

}  // namespace platform::windows

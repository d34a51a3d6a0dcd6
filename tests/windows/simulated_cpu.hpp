#pragma once
// A processor and its PCI devices as PawnIO's CPU modules reach them: CPUID, the
// model-specific registers of each logical processor, and PCI configuration space as
// the HAL's HalGetBusDataByOffset/HalSetBusDataByOffset serve it (the way ReactOS's
// HalpGetPCIData does: a slot whose vendor ID reads 0xFFFF gives those 2 bytes and
// nothing else; the legacy configuration mechanism addresses 256 bytes a function;
// any offset and length, aligned or not).
//
// Two registers answer as AMD's do:
// - SMN: on an AMD host bridge (0:0.0, vendor 0x1022) a dword written to 0x60 selects
//   an SMN register, which 0x64 reads and writes.
// - Family 0Fh thermtrip status (device 24 + node, function 3, 0xE4): bit 2 written to
//   it selects the core whose sensor it reads, core 1 when set before model 0x40 and
//   core 0 when set from model 0x40 on (NPT swapped the encoding; Linux's k8temp,
//   swap_core_select). Bit 2 reads back as written.

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/windows/sensors/processor.hpp"

namespace platform::windows {

// A PCI function.
struct PciAddress {
  std::uint32_t bus = 0;
  std::uint32_t device = 0;
  std::uint32_t function = 0;
  auto operator<=>(const PciAddress&) const = default;
};

class SimulatedCpu final : public Processor {
 public:
  // The leaf set, zeros for any other.
  CpuidLeaf cpuid(std::uint32_t leaf, std::uint32_t subleaf = 0) override;
  unsigned count() override { return processors; }
  // False for an index at or beyond `processors`.
  bool bind(unsigned index) override;
  void unbind() override;

  // Leaf 0: the highest basic leaf, then `vendor`'s 12 characters in EBX, EDX, ECX.
  // Leaf 1 EAX: `family`, `model`, `stepping` encoded as the processor does: a family
  // above 0xF as 0xF plus the extended family, the model's high nibble in the extended
  // model.
  void set_identity(std::string_view vendor, unsigned family, unsigned model, unsigned stepping = 0);
  // Leaves 0x80000002-0x80000004: `brand`, NUL-padded to 48 characters.
  void set_brand(std::string_view brand);
  // Leaf `leaf`/`subleaf`. Leaf 0 and leaf 0x80000000 EAX name the highest leaf of their range.
  void set_cpuid(std::uint32_t leaf, std::uint32_t subleaf, CpuidLeaf value);

  // The processor the thread is bound to; 0 when it is not bound.
  unsigned bound() const { return bound_.value_or(0); }

  // MSR `msr` on every processor.
  void set_msr(std::uint32_t msr, std::uint64_t value);
  // MSR `msr` on `processor` only, over what set_msr gave it.
  void set_msr_on(unsigned processor, std::uint32_t msr, std::uint64_t value);
  // MSR `msr` of `processor`; nullopt when it has none.
  std::optional<std::uint64_t> msr_on(unsigned processor, std::uint32_t msr) const;
  // RDMSR and WRMSR on the bound processor; nullopt or false where the processor lacks
  // the MSR (the instruction raises #GP).
  std::optional<std::uint64_t> read_msr(std::uint32_t msr) const;
  bool write_msr(std::uint32_t msr, std::uint64_t value);

  // The dword at `offset` (a multiple of 4 below 256) of function `at`, which is there
  // from its first register set on; its other registers read 0. A bus is there when a
  // function on it is, bus 0 always.
  void set_pci(PciAddress at, std::uint32_t offset, std::uint32_t value);
  // HalGetBusDataByOffset(PCIConfiguration): the bytes read into `buffer`, 0 for a bus
  // that is not there.
  std::uint32_t pci_read(PciAddress at, std::uint32_t offset, std::span<std::uint8_t> buffer) const;
  // HalSetBusDataByOffset(PCIConfiguration): the bytes written, 0 where no function is.
  std::uint32_t pci_write(PciAddress at, std::uint32_t offset, std::span<const std::uint8_t> bytes);

  // SMN register `address`; others read 0.
  void set_smn(std::uint32_t address, std::uint32_t value);
  std::uint32_t smn(std::uint32_t address) const;
  // Family 0Fh: the thermtrip status of `core` (0 or 1) of processor `node`, as its
  // register reads with that core selected.
  void set_thermtrip(unsigned node, unsigned core, std::uint32_t value);

  // The logical processors over all groups.
  unsigned processors = 1;
  // The natives the modules called, one line each with the processor or PCI function
  // they reached: "msr_read 0x19C on 2", "pci_config_write_dword 0:0.0 0x60 0x59800".
  std::vector<std::string> calls;

 private:
  using Registers = std::array<std::uint32_t, 64>;
  // The dword at the 4-aligned `offset` as the function answers it.
  std::uint32_t register_value(PciAddress at, const Registers& registers, std::uint32_t offset) const;
  bool bus_present(std::uint32_t bus) const;
  bool amd_host_bridge(PciAddress at) const;
  bool thermtrip(PciAddress at, std::uint32_t offset) const;

  std::map<std::pair<std::uint32_t, std::uint32_t>, CpuidLeaf> leaves_;
  unsigned family_ = 0;
  unsigned model_ = 0;
  std::optional<unsigned> bound_;
  std::map<std::uint32_t, std::uint64_t> msrs_;
  std::map<std::pair<unsigned, std::uint32_t>, std::uint64_t> own_msrs_;
  std::map<PciAddress, Registers> pci_;
  std::map<std::uint32_t, std::uint32_t> smn_;
  std::map<std::pair<unsigned, unsigned>, std::uint32_t> thermtrip_;
};

}  // namespace platform::windows

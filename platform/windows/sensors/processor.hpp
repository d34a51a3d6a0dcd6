#pragma once
// The processor as user mode sees it: CPUID, the number of logical processors over all
// processor groups, and binding the calling thread to one of them, so that a PawnIO
// module's MSR read runs on that core.

#include <array>
#include <cstdint>
#include <optional>

namespace platform::windows {

// EAX, EBX, ECX, EDX of one CPUID leaf.
using CpuidLeaf = std::array<std::uint32_t, 4>;

class Processor {
 public:
  virtual ~Processor() = default;
  // CPUID `leaf`, `subleaf` on the processor the thread runs on.
  virtual CpuidLeaf cpuid(std::uint32_t leaf, std::uint32_t subleaf = 0) = 0;
  // The logical processors of every processor group.
  virtual unsigned count() = 0;
  // Binds the calling thread to logical processor `index` (counted over the groups in
  // order); false when it cannot be bound there.
  virtual bool bind(unsigned index) = 0;
  // Gives the thread back the affinity it had before the first bind since the last unbind.
  virtual void unbind() = 0;
};

// The real processor: the CPUID instruction, GetActiveProcessorCount and
// SetThreadGroupAffinity over every processor group.
class Win32Processor final : public Processor {
 public:
  CpuidLeaf cpuid(std::uint32_t leaf, std::uint32_t subleaf = 0) override;
  unsigned count() override;
  bool bind(unsigned index) override;
  void unbind() override;

 private:
  struct Saved {
    std::uint64_t mask;
    std::uint16_t group;
  };
  std::optional<Saved> saved_;
};

}  // namespace platform::windows

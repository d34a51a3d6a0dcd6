#include "platform/windows/sensors/processor.hpp"

#include <windows.h>

#include <cpuid.h>

namespace platform::windows {

CpuidLeaf Win32Processor::cpuid(std::uint32_t leaf, std::uint32_t subleaf) {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid_count(leaf, subleaf, eax, ebx, ecx, edx);
  return {eax, ebx, ecx, edx};
}

unsigned Win32Processor::count() { return GetActiveProcessorCount(ALL_PROCESSOR_GROUPS); }

bool Win32Processor::bind(unsigned index) {
  // The processors are numbered group by group.
  const WORD groups = GetActiveProcessorGroupCount();
  WORD group = 0;
  for (; group < groups; ++group) {
    const DWORD size = GetActiveProcessorCount(group);
    if (index < size) break;
    index -= size;
  }
  if (group == groups || index >= 64) return false;
  GROUP_AFFINITY wanted{};
  wanted.Group = group;
  wanted.Mask = KAFFINITY{1} << index;
  GROUP_AFFINITY previous{};
  if (!SetThreadGroupAffinity(GetCurrentThread(), &wanted, &previous)) return false;
  if (!saved_) saved_ = Saved{previous.Mask, previous.Group};
  return true;
}

void Win32Processor::unbind() {
  if (!saved_) return;
  GROUP_AFFINITY back{};
  back.Group = saved_->group;
  back.Mask = static_cast<KAFFINITY>(saved_->mask);
  SetThreadGroupAffinity(GetCurrentThread(), &back, nullptr);
  saved_.reset();
}

}  // namespace platform::windows

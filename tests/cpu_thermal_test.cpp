// The CPUs' temperature registers decoded as the kernel's coretemp, k10temp and k8temp
// drivers decode them: register values taken apart by hand for each case.
#include "platform/cpu_thermal.hpp"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(CpuThermal, IntelReadoutsCountDownFromTjMax) {
  // MSR_TEMPERATURE_TARGET 0x00640000: TjMax 100; 0x0F5A0000: 90 (bits 31:24 are the offset, ignored).
  EXPECT_EQ(IntelTjMax(0x00640000), 100000);
  EXPECT_EQ(IntelTjMax(0x0F5A0000), 90000);
  EXPECT_EQ(IntelTjMax(0x0000FFFF), std::nullopt);

  // IA32_THERM_STATUS: valid (bit 31), readout 0x30 = 48 below 100 -> 52; readout 0 -> TjMax.
  EXPECT_EQ(IntelCoreTemperature(100000, 0x88300000), 52000);
  EXPECT_EQ(IntelCoreTemperature(100000, 0x80000000), 100000);
  // The readout is seven bits: bit 23 belongs to the resolution field.
  EXPECT_EQ(IntelCoreTemperature(100000, 0x88B00000), 52000);
  // Without the valid bit the same readout is no reading.
  EXPECT_EQ(IntelCoreTemperature(100000, 0x08300000), std::nullopt);

  // IA32_PACKAGE_THERM_STATUS has no valid bit: readout 0x2D = 45 below 105 -> 60.
  EXPECT_EQ(IntelPackageTemperature(105000, 0x002D0000), 60000);
  EXPECT_EQ(IntelPackageTemperature(105000, 0x882D0000), 60000);
}

TEST(CpuThermal, IntelTjMaxEstimatesFollowTheAtomTable) {
  EXPECT_EQ(IntelTjMaxEstimate(0x1C, 10), 100000);  // Atom D510 (stepping 10)
  EXPECT_EQ(IntelTjMaxEstimate(0x1C, 2), 90000);    // Atom N270
  EXPECT_EQ(IntelTjMaxEstimate(0x26, 1), 90000);
  EXPECT_EQ(IntelTjMaxEstimate(0x27, 1), 90000);
  EXPECT_EQ(IntelTjMaxEstimate(0x35, 1), 90000);
  EXPECT_EQ(IntelTjMaxEstimate(0x36, 1), 100000);
  EXPECT_EQ(IntelTjMaxEstimate(0x17, 6), 100000);  // Core 2 Duo E8400: the default
  EXPECT_EQ(IntelTjMaxEstimate(0x0F, 11), 100000);
}

TEST(CpuThermal, AmdZenTctl) {
  // 52.125 degrees: 417 eighths = 0x1A1 -> value 0x1A1 << 21 = 0x34200000.
  EXPECT_EQ(AmdZenTctl(0x34200000), 52125);
  // The same with the range select (bit 19): 49 lower.
  EXPECT_EQ(AmdZenTctl(0x34280000), 3125);
  // Bits 17:16 both set count as the range select; one of them does not.
  EXPECT_EQ(AmdZenTctl(0x34230000), 3125);
  EXPECT_EQ(AmdZenTctl(0x34210000), 52125);
  // Below 49 with the range select: 0, as k10temp shows Tctl.
  EXPECT_EQ(AmdZenTctl(0x00280000 | (40u * 8 << 21)), 0);
  // The top of the field: 2047 eighths.
  EXPECT_EQ(AmdZenTctl(0xFFE00000), 255875);
}

TEST(CpuThermal, AmdTctlOffsetsByBrand) {
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen 7 1800X Eight-Core Processor"), 20000);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen 5 1600X Six-Core Processor"), 20000);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen 7 2700X Eight-Core Processor"), 10000);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen Threadripper 1950X 16-Core Processor"), 27000);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen Threadripper 2990WX 32-Core Processor"), 27000);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen 7 1800 Eight-Core Processor"), 0);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen 7 3700X 8-Core Processor"), 0);
  EXPECT_EQ(AmdTctlOffset(0x17, "AMD Ryzen Threadripper 3970X 32-Core Processor"), 0);
  EXPECT_EQ(AmdTctlOffset(0x19, "AMD Ryzen 7 1800X Eight-Core Processor"), 0);
}

TEST(CpuThermal, AmdK10AndK8) {
  // 45.5 degrees = 364 eighths = 0x16C; bits 20:0 are other fields and ignored.
  EXPECT_EQ(AmdK10Temperature(0x2D8FFFFF), 45500);
  EXPECT_EQ(AmdK10Temperature(0x00000000), 0);
  EXPECT_TRUE(AmdK10ThroughSmu(0x15, 0x60));
  EXPECT_TRUE(AmdK10ThroughSmu(0x15, 0x70));
  EXPECT_FALSE(AmdK10ThroughSmu(0x15, 0x30));
  EXPECT_FALSE(AmdK10ThroughSmu(0x16, 0x60));

  // Thermtrip bits 23:16 = 0x5F = 95 -> 46; a revision G desktop part 21 more.
  EXPECT_EQ(AmdK8Temperature(0x005F0000, false), 46000);
  EXPECT_EQ(AmdK8Temperature(0x005F0000, true), 67000);
  EXPECT_EQ(AmdK8Temperature(0xFF2F00FF, false), -2000);

  EXPECT_FALSE(AmdK8RevisionGDesktop(0x4B, 0));  // revision F
  EXPECT_TRUE(AmdK8RevisionGDesktop(0x6B, 0));   // Athlon 64 X2 (brand index 0)
  EXPECT_FALSE(AmdK8RevisionGDesktop(0x6B, 0xB << 9));  // its mobile part
  EXPECT_FALSE(AmdK8RevisionGDesktop(0x7F, 0x9 << 9));
  EXPECT_TRUE(AmdK8RevisionGDesktop(0x7F, 0x4 << 9));
  EXPECT_FALSE(AmdK8RevisionGDesktop(0x6C, 0));
  EXPECT_FALSE(AmdK8RevisionGDesktop(0xC1, 0));
}

}  // namespace
}  // namespace platform

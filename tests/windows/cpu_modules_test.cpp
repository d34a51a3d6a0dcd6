// PawnIO's signed CPU modules (IntelMSR, AMDFamily17, AMDFamily10, AMDFamily0F) on the
// tests' PawnIO driver against simulated processors, reached as the program reaches
// them: PawnIoLoad and PawnIoExecute.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/windows/ports/pawnio_port_io.hpp"
#include "tests/windows/simulated_cpu.hpp"
#include "tests/windows/simulated_pawnio.hpp"

namespace platform::windows {
namespace {

constexpr PawnIoFunction kReadMsr{"ioctl_read_msr", 1, 1};
constexpr PawnIoFunction kWriteMsr{"ioctl_write_msr", 2, 0};
constexpr PawnIoFunction kReadSmn{"ioctl_read_smn", 1, 1};
constexpr PawnIoFunction kReadMiscctl{"ioctl_read_miscctl", 2, 1};
constexpr PawnIoFunction kGetThermtrip{"ioctl_get_thermtrip", 2, 1};
constexpr PawnIoFunction kMeasureTscMultiplier{"ioctl_measure_tsc_multiplier", 0, 2};

constexpr std::array<const wchar_t*, 4> kModules{L"IntelMSR.bin", L"AMDFamily17.bin", L"AMDFamily10.bin",
                                                 L"AMDFamily0F.bin"};

constexpr PciAddress kHostBridge{0, 0, 0};
constexpr PciAddress kNode0Misc{0, 24, 3};  // processor node 0, miscellaneous control
constexpr PciAddress kNode1Misc{0, 25, 3};
constexpr std::uint32_t kAmdHostBridge = 0x14501022;   // family 17h root complex
constexpr std::uint32_t kK8MiscControl = 0x11031022;   // family 0Fh function 3
constexpr std::uint32_t kK10MiscControl = 0x12031022;  // family 10h function 3

// The CPU modules touch no port.
class NoPorts final : public PortBus {
 public:
  std::uint8_t in(std::uint16_t) override { return 0xFF; }
  void out(std::uint16_t, std::uint8_t) override {}
};

struct Identity {
  const char* vendor;
  unsigned family;
  unsigned model;
};

constexpr Identity kCoffeeLake{"GenuineIntel", 0x06, 0x9E};
constexpr Identity kZen3{"AuthenticAMD", 0x19, 0x21};
constexpr Identity kPhenom{"AuthenticAMD", 0x10, 0x04};
constexpr Identity kAthlon64X2{"AuthenticAMD", 0x0F, 0x6B};  // NPT (model 0x40 and up)

// A processor each module accepts.
Identity AcceptedBy(std::wstring_view module) {
  if (module == L"IntelMSR.bin") return kCoffeeLake;
  if (module == L"AMDFamily17.bin") return kZen3;
  if (module == L"AMDFamily10.bin") return kPhenom;
  return kAthlon64X2;
}

// PawnIO on a machine whose processor is `cpu`.
struct Machine {
  explicit Machine(Identity identity) {
    cpu.set_identity(identity.vendor, identity.family, identity.model);
    device.cpu = &cpu;
  }
  // A new handle with `module` loaded on it; the load's error. The calls of its main are forgotten.
  DWORD load(const wchar_t* module) {
    device.open();
    const DWORD error = PawnIoLoad(device, ModuleBesideProgram(module));
    cpu.calls.clear();
    return error;
  }
  // `function`'s error and, on success, its one result.
  std::pair<DWORD, std::uint64_t> call(const PawnIoFunction& function, std::vector<std::uint64_t> arguments) {
    std::array<std::uint64_t, 1> result{0xEEEE};
    const DWORD error =
        PawnIoExecute(device, function, arguments, std::span<std::uint64_t>(result).first(function.results));
    return {error, result[0]};
  }

  NoPorts ports;
  std::vector<std::string> log;
  SimulatedCpu cpu;
  SimulatedPawnIo device{ports, log};
};

std::string Narrow(std::wstring_view text) { return {text.begin(), text.end()}; }

// The modules add the extended family whatever the base family says, so they cannot tell
// a wrong split of the family bits from the right one; real processors' signatures can.
TEST(SimulatedCpuIdentity, EncodesLikeRealProcessors) {
  struct Row {
    Identity cpu;
    unsigned stepping;
    std::uint32_t signature;  // CPUID 1 EAX
  };
  const Row rows[] = {
      {kCoffeeLake, 0xA, 0x000906EA},                   // Core i7-8700K
      {{"AuthenticAMD", 0x17, 0x71}, 0x0, 0x00870F10},  // Ryzen 3000 (Matisse)
      {kZen3, 0x0, 0x00A20F10},                         // Ryzen 5000 (Vermeer)
      {kPhenom, 0x2, 0x00100F42},                       // Phenom II (Deneb C2)
      {kAthlon64X2, 0x2, 0x00060FB2},                   // Athlon 64 X2 (Brisbane G2)
  };
  for (const Row& row : rows) {
    SimulatedCpu cpu;
    cpu.set_identity(row.cpu.vendor, row.cpu.family, row.cpu.model, row.stepping);
    EXPECT_EQ(cpu.cpuid(1)[0], row.signature) << row.cpu.vendor << " family " << row.cpu.family;
  }

  SimulatedCpu cpu;
  cpu.set_identity("GenuineIntel", 6, 0x9E);
  EXPECT_EQ(cpu.cpuid(0), (CpuidLeaf{1, 0x756E6547, 0x6C65746E, 0x49656E69}));  // "Genu" "ntel" "ineI"
  cpu.set_brand("AMD Ryzen 9 5950X 16-Core Processor");
  EXPECT_EQ(cpu.cpuid(0x80000000)[0], 0x80000004u);
  EXPECT_EQ(cpu.cpuid(0x80000002), (CpuidLeaf{0x20444D41, 0x657A7952, 0x2039206E, 0x30353935}));  // "AMD Ryzen 9 5950"
  EXPECT_EQ(cpu.cpuid(0x80000004), (CpuidLeaf{0x00726F73, 0, 0, 0}));                             // "sor", NULs
  cpu.set_cpuid(6, 0, {1, 0, 0, 0});
  EXPECT_EQ(cpu.cpuid(0)[0], 6u) << "the highest basic leaf";
}

TEST(CpuModules, EachMainAcceptsOnlyItsProcessorsAndRefusesWithNotSupported) {
  struct Row {
    Identity cpu;
    const wchar_t* accepted;  // nullptr: by none
    const char* decoded;      // what the AMD modules print of family and model; nullptr: nothing
  };
  const Row rows[] = {
      {kCoffeeLake, L"IntelMSR.bin", nullptr},
      {{"GenuineIntel", 0x0F, 0x04}, L"IntelMSR.bin", nullptr},
      {{"AuthenticAMD", 0x17, 0x71}, L"AMDFamily17.bin", "family: 17 model: 71"},
      {kZen3, L"AMDFamily17.bin", "family: 19 model: 21"},
      {{"AuthenticAMD", 0x1A, 0x44}, L"AMDFamily17.bin", "family: 1a model: 44"},
      {{"AuthenticAMD", 0x1B, 0x00}, nullptr, "family: 1b model: 0"},
      {kPhenom, L"AMDFamily10.bin", "family: 10 model: 4"},
      {{"AuthenticAMD", 0x15, 0x60}, L"AMDFamily10.bin", "family: 15 model: 60"},
      {{"AuthenticAMD", 0x16, 0x30}, L"AMDFamily10.bin", "family: 16 model: 30"},
      {kAthlon64X2, L"AMDFamily0F.bin", "family: f model: 6b"},
      {{"AuthenticAMD", 0x0F, 0x2B}, L"AMDFamily0F.bin", "family: f model: 2b"},
      {{"AuthenticAMD", 0x06, 0x08}, nullptr, "family: 6 model: 8"},
      {{"HygonGenuine", 0x18, 0x00}, nullptr, nullptr},
      {{"CentaurHauls", 0x06, 0x0F}, nullptr, nullptr},
  };
  for (const Row& row : rows) {
    for (const wchar_t* module : kModules) {
      Machine machine(row.cpu);
      const bool accepts = row.accepted != nullptr && std::wstring_view(module) == row.accepted;
      EXPECT_EQ(machine.load(module), accepts ? ERROR_SUCCESS : ERROR_NOT_SUPPORTED)
          << row.cpu.vendor << " family " << row.cpu.family << " model " << row.cpu.model << ", " << Narrow(module);
      const std::wstring_view name = std::wstring_view(module).substr(0, std::wstring_view(module).find(L'.'));
      if (row.decoded != nullptr && name.starts_with(L"AMD")) {
        EXPECT_EQ(machine.device.debug, std::vector<std::string>{Narrow(name) + ": " + row.decoded + "\n"});
      }
    }
  }

  for (const wchar_t* module : kModules) {
    // Each main's own check; the real ARM64 driver refuses the x64 natives' import before.
    Machine arm64(AcceptedBy(module));
    arm64.device.arch = 2;
    EXPECT_EQ(arm64.load(module), ERROR_NOT_SUPPORTED) << "get_arch ARM64, " << Narrow(module);
    Machine no_cpu(AcceptedBy(module));
    no_cpu.device.cpu = nullptr;
    EXPECT_EQ(no_cpu.load(module), ERROR_NOT_SUPPORTED) << "CPUID all zeros, " << Narrow(module);
  }
}

TEST(CpuModules, AModuleWithOneBitFlippedIsRefused) {
  for (const wchar_t* module : kModules) {
    std::vector<std::uint8_t> bytes = ReadBytes(ModuleBesideProgram(module));
    ASSERT_GT(bytes.size(), 4u + 512u);
    bytes[4 + 512 + (bytes.size() - 4 - 512) / 2] ^= 0x10;
    const auto altered = WriteTemporary("altered-" + Narrow(module), bytes);
    Machine machine(AcceptedBy(module));
    machine.device.open();
    EXPECT_EQ(PawnIoLoad(machine.device, altered), ERROR_MR_MID_NOT_FOUND) << Narrow(module);
    EXPECT_TRUE(machine.cpu.calls.empty()) << "main ran: " << Narrow(module);
    std::filesystem::remove(altered);
  }
}

TEST(CpuModules, ReadMsrReadsTheBoundProcessorWithinTheModulesList) {
  struct Row {
    const wchar_t* module;
    std::optional<unsigned> bound;
    std::uint64_t msr;
    DWORD error;
    std::uint64_t value;
    const char* touched;  // nullptr: no MSR read
  };
  const Row rows[] = {
      {L"IntelMSR.bin", 2, 0x19C, ERROR_SUCCESS, 0x88380000, "msr_read 0x19C on 2"},
      {L"IntelMSR.bin", std::nullopt, 0x19C, ERROR_SUCCESS, 0x88470000, "msr_read 0x19C on 0"},
      // The module keeps the MSR number's low 32 bits.
      {L"IntelMSR.bin", 1, 0x1'0000'019C, ERROR_SUCCESS, 0x88470000, "msr_read 0x19C on 1"},
      // A processor without the MSR faults, and the fault comes back as the status.
      {L"IntelMSR.bin", 0, 0x1A2, ERROR_NOACCESS, 0, "msr_read 0x1A2 on 0"},
      {L"IntelMSR.bin", 0, 0x10, ERROR_ACCESS_DENIED, 0, nullptr},  // the time stamp counter
      {L"AMDFamily17.bin", 3, 0xC0010293, ERROR_SUCCESS, 0x2A, "msr_read 0xC0010293 on 3"},
      {L"AMDFamily17.bin", 0, 0x19C, ERROR_ACCESS_DENIED, 0, nullptr},
      {L"AMDFamily10.bin", 1, 0xC0010071, ERROR_SUCCESS, 0x40A402810, "msr_read 0xC0010071 on 1"},
      {L"AMDFamily10.bin", 0, 0xC0010015, ERROR_ACCESS_DENIED, 0, nullptr},
      {L"AMDFamily0F.bin", 1, 0xC0010042, ERROR_SUCCESS, 0x0E0E0202, "msr_read 0xC0010042 on 1"},
      {L"AMDFamily0F.bin", 0, 0xC0010071, ERROR_ACCESS_DENIED, 0, nullptr},
  };
  for (const Row& row : rows) {
    Machine machine(AcceptedBy(row.module));
    machine.cpu.processors = 4;
    machine.cpu.set_msr(0x19C, 0x88470000);
    machine.cpu.set_msr_on(2, 0x19C, 0x88380000);
    machine.cpu.set_msr(0x10, 0x1234);
    machine.cpu.set_msr_on(3, 0xC0010293, 0x2A);
    machine.cpu.set_msr_on(1, 0xC0010071, 0x40A402810);
    machine.cpu.set_msr(0xC0010015, 0x01000010);
    machine.cpu.set_msr_on(1, 0xC0010042, 0x0E0E0202);
    ASSERT_EQ(machine.load(row.module), ERROR_SUCCESS) << Narrow(row.module);
    if (row.bound) {
      ASSERT_TRUE(machine.cpu.bind(*row.bound));
    }

    const auto [error, value] = machine.call(kReadMsr, {row.msr});
    const std::string what = Narrow(row.module) + " MSR " + std::to_string(row.msr);
    EXPECT_EQ(error, row.error) << what;
    if (row.error == ERROR_SUCCESS) {
      EXPECT_EQ(value, row.value) << what;
    }
    EXPECT_EQ(machine.cpu.calls, row.touched ? std::vector<std::string>{row.touched} : std::vector<std::string>{})
        << what;
  }
}

TEST(CpuModules, WriteMsrChangesOnlyTheBoundProcessorAndOnlyAllowedMsrs) {
  struct Row {
    std::uint64_t msr;
    DWORD error;
    std::vector<std::string> touched;
  };
  const Row rows[] = {
      {0x1A4, ERROR_SUCCESS, {"msr_write 0x1A4 0xF on 1"}},   // prefetcher control
      {0x601, ERROR_NOACCESS, {"msr_write 0x601 0xF on 1"}},  // allowed, but this processor lacks it
      {0x19C, ERROR_ACCESS_DENIED, {}},
  };
  for (const Row& row : rows) {
    Machine machine(kCoffeeLake);
    machine.cpu.processors = 2;
    machine.cpu.set_msr(0x1A4, 0);
    machine.cpu.set_msr(0x19C, 0x88470000);
    ASSERT_EQ(machine.load(L"IntelMSR.bin"), ERROR_SUCCESS);
    ASSERT_TRUE(machine.cpu.bind(1));

    EXPECT_EQ(machine.call(kWriteMsr, {row.msr, 0xF}).first, row.error) << row.msr;
    EXPECT_EQ(machine.cpu.calls, row.touched) << row.msr;
    EXPECT_EQ(machine.cpu.msr_on(0, 0x1A4), 0u);
    EXPECT_EQ(machine.cpu.msr_on(1, 0x1A4), row.msr == 0x1A4 ? 0xFu : 0u);
    EXPECT_EQ(machine.cpu.msr_on(1, 0x19C), 0x88470000u);
  }
}

TEST(CpuModules, ReadSmnGoesThroughAnAmdHostBridgeOnly) {
  struct Row {
    std::optional<std::uint32_t> host_bridge;  // 0:0.0's vendor and device ID; nullopt: no device
    std::uint64_t address;
    DWORD error;
    std::uint64_t value;
    std::vector<std::string> touched;
  };
  const Row rows[] = {
      {kAmdHostBridge,
       0x59800,
       ERROR_SUCCESS,
       0x3E800000,
       {"pci_config_read_dword 0:0.0 0x0", "pci_config_write_dword 0:0.0 0x60 0x59800",
        "pci_config_read_dword 0:0.0 0x64"}},
      {kAmdHostBridge,
       0x59804,
       ERROR_SUCCESS,
       0x00000011,
       {"pci_config_read_dword 0:0.0 0x0", "pci_config_write_dword 0:0.0 0x60 0x59804",
        "pci_config_read_dword 0:0.0 0x64"}},
      {0x3E308086, 0x59800, ERROR_NOT_SUPPORTED, 0, {"pci_config_read_dword 0:0.0 0x0"}},  // an Intel host bridge
      {std::nullopt, 0x59800, ERROR_DEV_NOT_EXIST, 0, {"pci_config_read_dword 0:0.0 0x0"}},
  };
  for (const Row& row : rows) {
    Machine machine(kZen3);
    if (row.host_bridge) machine.cpu.set_pci(kHostBridge, 0, *row.host_bridge);
    machine.cpu.set_smn(0x59800, 0x3E800000);
    machine.cpu.set_smn(0x59804, 0x00000011);
    ASSERT_EQ(machine.load(L"AMDFamily17.bin"), ERROR_SUCCESS);

    const auto [error, value] = machine.call(kReadSmn, {row.address});
    EXPECT_EQ(error, row.error) << row.address;
    if (row.error == ERROR_SUCCESS) {
      EXPECT_EQ(value, row.value) << row.address;
    }
    EXPECT_EQ(machine.cpu.calls, row.touched);
  }
}

TEST(CpuModules, ReadMiscctlReadsNodeFunction3WithinTheModulesList) {
  struct Row {
    std::optional<std::uint32_t> function3;  // 0:24.3's vendor and device ID; nullopt: no device
    std::uint64_t node;
    std::uint64_t offset;
    DWORD error;
    std::uint64_t value;
  };
  const Row rows[] = {
      {kK10MiscControl, 0, 0xA4, ERROR_SUCCESS, 0x2E200000},  // reported temperature control
      {0x15331022, 0, 0xA4, ERROR_SUCCESS, 0x2E200000},       // family 16h
      {kK10MiscControl, 0, 0xD4, ERROR_SUCCESS, 0x00000C11},
      {kK10MiscControl, 0, 0xE4, ERROR_ACCESS_DENIED, 0},  // an offset outside the list
      {kK8MiscControl, 0, 0xA4, ERROR_ACCESS_DENIED, 0},   // a device ID outside the list
      {kK10MiscControl, 1, 0xA4, ERROR_DEV_NOT_EXIST, 0},  // node 1 (device 25) is not there
      {std::nullopt, 0, 0xA4, ERROR_DEV_NOT_EXIST, 0},
  };
  for (const Row& row : rows) {
    Machine machine(kPhenom);
    if (row.function3) {
      machine.cpu.set_pci(kNode0Misc, 0, *row.function3);
      machine.cpu.set_pci(kNode0Misc, 0xA4, 0x2E200000);
      machine.cpu.set_pci(kNode0Misc, 0xD4, 0x00000C11);
      machine.cpu.set_pci(kNode0Misc, 0xE4, 0x00390000);
    }
    ASSERT_EQ(machine.load(L"AMDFamily10.bin"), ERROR_SUCCESS);

    const auto [error, value] = machine.call(kReadMiscctl, {row.node, row.offset});
    const std::string what = "node " + std::to_string(row.node) + " offset " + std::to_string(row.offset);
    EXPECT_EQ(error, row.error) << what;
    if (row.error == ERROR_SUCCESS) {
      EXPECT_EQ(value, row.value) << what;
    }
  }
}

TEST(CpuModules, GetThermtripSelectsTheCoreWithTheEncodingOfTheModel) {
  struct Row {
    unsigned model;
    std::uint64_t node;
    std::uint64_t core;
    DWORD error;
    const char* select;  // what the module writes to the thermtrip register
    std::uint64_t value;
    std::uint32_t function3 = kK8MiscControl;
  };
  const Row rows[] = {
      {0x2B, 0, 0, ERROR_SUCCESS, "0x0", 0x00A40000},
      {0x2B, 0, 1, ERROR_SUCCESS, "0x4", 0x00B80004},
      {0x6B, 0, 0, ERROR_SUCCESS, "0x4", 0x00A40004},  // NPT: bit 2 set selects core 0
      {0x6B, 0, 1, ERROR_SUCCESS, "0x0", 0x00B80000},
      {0x6B, 1, 1, ERROR_SUCCESS, "0x0", 0x00D00000},
      {0x6B, 2, 0, ERROR_INVALID_PARAMETER, nullptr, 0},
      {0x6B, 0, 2, ERROR_INVALID_PARAMETER, nullptr, 0},
      {0x6B, 0, 0, ERROR_NOT_SUPPORTED, nullptr, 0, kK10MiscControl},
  };
  for (const Row& row : rows) {
    Machine machine({"AuthenticAMD", 0x0F, row.model});
    machine.cpu.set_pci(kNode0Misc, 0, row.function3);
    machine.cpu.set_pci(kNode1Misc, 0, row.function3);
    machine.cpu.set_thermtrip(0, 0, 0x00A40000);
    machine.cpu.set_thermtrip(0, 1, 0x00B80000);
    machine.cpu.set_thermtrip(1, 0, 0x00C00000);
    machine.cpu.set_thermtrip(1, 1, 0x00D00000);
    ASSERT_EQ(machine.load(L"AMDFamily0F.bin"), ERROR_SUCCESS);

    const auto [error, value] = machine.call(kGetThermtrip, {row.node, row.core});
    const std::string what = "model " + std::to_string(row.model) + " node " + std::to_string(row.node) + " core " +
                             std::to_string(row.core);
    EXPECT_EQ(error, row.error) << what;
    if (row.error != ERROR_SUCCESS) continue;
    EXPECT_EQ(value, row.value) << what;
    const std::string function = "0:" + std::to_string(24 + row.node) + ".3";
    EXPECT_EQ(machine.cpu.calls, (std::vector<std::string>{"pci_config_read_dword " + function + " 0x0",
                                                           "pci_config_write_dword " + function + " 0xE4 " + row.select,
                                                           "pci_config_read_dword " + function + " 0xE4"}))
        << what;
  }
}

TEST(CpuModules, TscMultiplierMeasurementRestoresTheCountersWithInterruptsOff) {
  Machine machine(kPhenom);
  machine.cpu.set_cpuid(0x80000007, 0, {0, 0, 0, 1u << 9});  // core performance boost
  machine.cpu.set_msr(0xC0010015, 0x01000010);               // HWCR
  machine.cpu.set_msr(0xC0010000, 0x00430076);               // EVNTSEL0
  machine.cpu.set_msr(0xC0010004, 0x00005678);               // PERFCTR0
  machine.cpu.set_msr(0xC0010071, 0x40A402810);              // COFVID status
  ASSERT_EQ(machine.load(L"AMDFamily10.bin"), ERROR_SUCCESS);

  std::array<std::uint64_t, 2> results{};
  ASSERT_EQ(PawnIoExecute(machine.device, kMeasureTscMultiplier, {}, results), ERROR_SUCCESS);
  EXPECT_EQ(results[1], 0x40A402810u);
  EXPECT_GE(machine.device.ticks, 3u) << "waited for two tick changes";
  const std::vector<std::string>& calls = machine.cpu.calls;
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "cpuid 0x80000007 0x0");
  EXPECT_EQ(calls[1], "interrupts_disable");
  EXPECT_EQ(calls.back(), "interrupts_enable");
  EXPECT_NE(std::find(calls.begin(), calls.end(), "msr_write 0xC0010015 0x3000010 on 0"), calls.end())
      << "boost off while counting";
  EXPECT_EQ(machine.cpu.msr_on(0, 0xC0010015), 0x01000010u);
  EXPECT_EQ(machine.cpu.msr_on(0, 0xC0010000), 0x00430076u);
  EXPECT_EQ(machine.cpu.msr_on(0, 0xC0010004), 0x00005678u);
}

}  // namespace
}  // namespace platform::windows

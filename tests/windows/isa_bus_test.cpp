#include "platform/windows/ports/isa_bus.hpp"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform::windows {
namespace {

using namespace std::chrono_literals;

// An ITE 8705's address/data pair that two programs reach; every access is logged.
class SharedChip final : public iow::PortIo {
 public:
  bool acquire(std::uint16_t, std::uint16_t) override { return true; }
  void out(std::uint16_t port, std::uint8_t value) override {
    const std::lock_guard lock(mutex_);
    if (port == 0x295) address_ = value;
    log_.push_back("out " + std::to_string(value));
  }
  std::uint8_t in(std::uint16_t) override {
    const std::lock_guard lock(mutex_);
    log_.push_back("in");
    return registers_[address_];
  }
  void note(std::string line) {
    const std::lock_guard lock(mutex_);
    log_.push_back(std::move(line));
  }
  std::vector<std::string> log() {
    const std::lock_guard lock(mutex_);
    return log_;
  }
  std::array<std::uint8_t, 256> registers_{};

 private:
  std::mutex mutex_;
  std::uint8_t address_ = 0;
  std::vector<std::string> log_;
};

// Another monitoring tool: takes the bus on its own thread and its own handle, as a
// separate program would, until `let_go` or for `hold`.
class OtherTool {
 public:
  OtherTool(const wchar_t* name, SharedChip& chip, std::chrono::milliseconds hold, bool release = true)
      : thread_([this, name, hold, release, &chip] {
          HANDLE mutex = CreateMutexW(nullptr, FALSE, name);
          WaitForSingleObject(mutex, INFINITE);
          chip.note("other holds");
          chip.out(0x295, 0x0D);  // its own register number, which a reader without the bus would read from
          SetEvent(held_);
          WaitForSingleObject(let_go_, static_cast<DWORD>(hold.count()));
          chip.note("other lets go");
          if (release) ReleaseMutex(mutex);
          CloseHandle(mutex);
        }) {
    WaitForSingleObject(held_, INFINITE);
  }
  ~OtherTool() {
    SetEvent(let_go_);
    thread_.join();
    CloseHandle(held_);
    CloseHandle(let_go_);
  }
  void let_go() { SetEvent(let_go_); }

 private:
  HANDLE held_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE let_go_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread thread_;
};

TEST(IsaBus, ARegisterReadWaitsForTheOtherHolderAndReadsItsOwnRegister) {
  SharedChip chip;
  chip.registers_[0x29] = 45;
  chip.registers_[0x0D] = 60;
  std::vector<std::string> reports;
  IsaBus bus(kIsaBusMutexName, 5000ms, [&](std::string_view line) { reports.emplace_back(line); });
  // Created so that another program may wait for it and release it.
  HANDLE opened = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kIsaBusMutexName);
  EXPECT_NE(opened, nullptr);
  if (opened != nullptr) CloseHandle(opened);

  IsaBusPortIo ports(chip, bus);
  std::uint8_t value = 0;
  {
    OtherTool other(kIsaBusMutexName, chip, 50ms);
    ports.out(0x295, 0x29);
    value = ports.in(0x296);
  }
  EXPECT_EQ(value, 45);
  EXPECT_EQ(chip.log(), (std::vector<std::string>{"other holds", "out 13", "other lets go", "out 41", "in"}));
  EXPECT_TRUE(reports.empty());
}

TEST(IsaBus, AnAbandonedBusCountsAsHeld) {
  SharedChip chip;
  std::vector<std::string> reports;
  IsaBus bus(L"Local\\lumatext-test-isabus-abandoned", 5000ms,
             [&](std::string_view line) { reports.emplace_back(line); });
  { OtherTool other(L"Local\\lumatext-test-isabus-abandoned", chip, 0ms, false); }
  const auto hold = bus.hold();
  EXPECT_TRUE(hold.held());
  EXPECT_TRUE(reports.empty());
}

TEST(IsaBus, ReadsAnywayWhenTheBusStaysTakenAndReportsThatOnce) {
  SharedChip chip;
  chip.registers_[0x29] = 45;
  std::vector<std::string> reports;
  IsaBus bus(L"Local\\lumatext-test-isabus-taken", 20ms, [&](std::string_view line) { reports.emplace_back(line); });
  IsaBusPortIo ports(chip, bus);
  OtherTool other(L"Local\\lumatext-test-isabus-taken", chip, 10'000ms);
  for (int read = 0; read < 2; ++read) {
    ports.out(0x295, 0x29);
    EXPECT_EQ(ports.in(0x296), 45);
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_NE(reports[0].find("l\u00e4nger als 20 ms"), std::string::npos) << reports[0];
  other.let_go();
}

}  // namespace
}  // namespace platform::windows

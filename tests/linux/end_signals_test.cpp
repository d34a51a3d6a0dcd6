// SIGINT, SIGTERM and SIGHUP end the program only while no key of the sign is held.

#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "platform/linux/end_signals.hpp"
#include "platform/linux/linux_iowkit.hpp"
#include "platform/linux/precise_clock.hpp"
#include "platform/window_system.hpp"

#include "tests/linux/one_node.hpp"
namespace platform::lnx {
namespace {

using std::chrono::milliseconds;

constexpr std::uint8_t kPress[3] = {0x00, 0xFF, 0xFE};
constexpr std::uint8_t kRelease[3] = {0x00, 0xFF, 0xFF};

class EndSignalsTest : public testing::Test {
 protected:
  void SetUp() override {
    signals_.install();
    signals_.clear();
    signals_.set_key_held(false);
  }
  void TearDown() override { signals_.clear(); }

  EndSignals& signals_ = EndSignals::Process();
};

TEST_F(EndSignalsTest, SignalDuringAHoldEndsTheProgramAtTheReleaseWrite) {
  OneNode files;
  LinuxIowKit node(files);
  EndAtReleaseKit kit(node, signals_);
  PreciseClock clock(&signals_);
  const iow::IowKitHandle handle = kit.open_device();
  ASSERT_NE(handle, 0u);

  kit.write(handle, 0, kPress, 3);
  std::raise(SIGTERM);
  // The hold goes on to its end: the key is down.
  const iow::TimePoint deadline = clock.now() + milliseconds(20);
  EXPECT_NO_THROW(clock.sleep_until(deadline));
  EXPECT_GE(clock.now(), deadline);
  try {
    kit.write(handle, 0, kRelease, 3);
    FAIL() << "the release write did not end the program";
  } catch (const ProgramEnd& end) {
    EXPECT_EQ(end.status, 128 + SIGTERM);
  }
  // The release did reach the device before the program ended.
  ASSERT_EQ(files.written.size(), 2u);
  EXPECT_EQ(files.written[1], (std::vector<std::uint8_t>{0xFF, 0xFF}));
  kit.close_device(handle);
}

TEST_F(EndSignalsTest, SignalBetweenPulsesInterruptsTheSleepAtOnce) {
  PreciseClock clock(&signals_);
  const pthread_t sleeper = pthread_self();
  std::thread sender([sleeper] {
    std::this_thread::sleep_for(milliseconds(50));
    pthread_kill(sleeper, SIGHUP);
  });
  const iow::TimePoint start = clock.now();
  int status = 0;
  try {
    clock.sleep_until(start + std::chrono::seconds(30));
  } catch (const ProgramEnd& end) {
    status = end.status;
  }
  sender.join();
  EXPECT_EQ(status, 128 + SIGHUP);
  EXPECT_LT(clock.now() - start, std::chrono::seconds(5));
}

TEST_F(EndSignalsTest, FirstSignalNamesTheStatus) {
  std::raise(SIGINT);
  std::raise(SIGTERM);
  EXPECT_EQ(signals_.requested(), SIGINT);
  signals_.set_key_held(true);
  EXPECT_NO_THROW(signals_.end_if_requested());
  signals_.set_key_held(false);
  EXPECT_THROW(signals_.end_if_requested(), ProgramEnd);
  // The ending work that follows is not ended again.
  EXPECT_NO_THROW(signals_.end_if_requested());
}

}  // namespace
}  // namespace platform::lnx

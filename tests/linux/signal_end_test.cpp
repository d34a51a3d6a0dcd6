// A signal ends the whole program only between key pulses: Form1 on the Linux
// IO-Warrior (fake node) and the Linux clock, the monitor simulated, time 100x faster.

#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>

#include "app/form1.hpp"
#include "platform/linux/end_signals.hpp"
#include "platform/linux/linux_iowkit.hpp"
#include "platform/linux/precise_clock.hpp"
#include "sim/scripted_window.hpp"
#include "sim/sim_clock.hpp"
#include "sim/sim_ite8705.hpp"

#include "tests/linux/one_node.hpp"
namespace platform::lnx {
namespace {

using std::chrono::milliseconds;

// Real milliseconds after the start at which SIGTERM arrives: during the settle time after
// the first release, during the 4 s press that opens entry (2 s simulated), and in the
// middle of the text (15 s simulated).
class SignalEnd : public testing::TestWithParam<int> {};

TEST_P(SignalEnd, EndsAfterAReleaseWithTheDeviceClosedOnceAndEveryLineHigh) {
  EndSignals& signals = EndSignals::Process();
  signals.install();
  signals.clear();
  signals.set_key_held(false);
  OneNode node;
  LinuxIowKit device(node);
  EndAtReleaseKit kit(device, signals);
  PreciseClock precise(&signals);
  sim::SimClock clock(43200.0, 100.0, &precise);
  sim::SimIte8705 chip({45}, {60});
  sim::ScriptedWindow window(clock, {{iow::Duration{0}, WindowEvent::MessenClick}});
  iow::OutsideLibraries lib(kit, chip, clock);
  app::Form1 form(lib, window, window);

  const pthread_t program = pthread_self();
  std::thread sender([program] {
    std::this_thread::sleep_for(milliseconds(GetParam()));
    pthread_kill(program, SIGTERM);
  });
  const int status = form.Run();
  sender.join();
  signals.clear();

  EXPECT_EQ(status, 128 + SIGTERM);
  EXPECT_EQ(node.closes, 1);
  ASSERT_FALSE(node.written.empty());
  EXPECT_EQ(node.written.back(), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  // Every press was released by the write after it.
  for (std::size_t i = 0; i < node.written.size(); ++i) {
    if (node.written[i] != std::vector<std::uint8_t>{0xFF, 0xFF}) {
      ASSERT_LT(i + 1, node.written.size());
      EXPECT_EQ(node.written[i + 1], (std::vector<std::uint8_t>{0xFF, 0xFF})) << "write " << i + 1;
    }
  }
  // The program did not run on to the end of the text after the signal.
  EXPECT_LT(clock.now() - iow::TimePoint{}, std::chrono::seconds(60));
  // Text entry, once opened by the long press, was closed with line 6 before the end;
  // a signal before it left nothing to close.
  const bool in_entry = node.written.size() > 1 && node.written[1] == std::vector<std::uint8_t>{0xFF, 0xFE};
  const std::vector<std::uint8_t> finish{0xFF, 0xBF};
  const auto finishes = std::count(node.written.begin(), node.written.end(), finish);
  EXPECT_EQ(finishes, in_entry ? 1 : 0);
  if (in_entry) {
    EXPECT_EQ(node.written[node.written.size() - 2], finish);
  }
}

INSTANTIATE_TEST_SUITE_P(Moments, SignalEnd, testing::Values(0, 20, 150));

}  // namespace
}  // namespace platform::lnx

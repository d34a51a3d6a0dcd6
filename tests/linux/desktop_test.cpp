// The FLTK desktop's event queue and clock in a real X display (run under Xvfb).

#include <gtest/gtest.h>
#include <time.h>

#include <chrono>

#include "platform/desktop.hpp"
#include "sim/sign_display.hpp"

namespace platform {
namespace {

using std::chrono::milliseconds;

constexpr FormLayout kLayout{"Desktop test", 9300, 2100, {"Messen", {120, 480, 4332, 732}},
                             {"Ende", {5760, 480, 1332, 732}}};

// CPU time this process has used.
milliseconds CpuTime() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return std::chrono::duration_cast<milliseconds>(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
}

TEST(FltkDesktop, TakeEventReturnsAtOnceWhenNothingWaits) {
  const auto desktop = OpenDesktop(kLayout);
  ASSERT_NE(desktop, nullptr) << "no X display";
  desktop->window().show_form();
  iow::Clock& clock = desktop->clock();
  const iow::TimePoint start = clock.now();
  EXPECT_FALSE(desktop->events().take_event().has_value());
  EXPECT_LT(clock.now() - start, milliseconds(200));
}

TEST(FltkDesktop, WaitEventSleepsToTheDeadlineWithoutSpinning) {
  const auto desktop = OpenDesktop(kLayout);
  ASSERT_NE(desktop, nullptr);
  desktop->window().show_form();
  iow::Clock& clock = desktop->clock();
  const milliseconds cpu_before = CpuTime();
  const iow::TimePoint deadline = clock.now() + milliseconds(400);
  desktop->events().wait_event(deadline);
  EXPECT_GE(clock.now(), deadline);
  EXPECT_LT(clock.now() - deadline, milliseconds(200));
  EXPECT_LT(CpuTime() - cpu_before, milliseconds(100)) << "the wait spun";
}

// The simulator's sign window on the same desktop.
TEST(SignDisplay, SleepOnItsClockKeepsTheSignDrawnWithoutSpinningAndIsNeverEarly) {
  int views = 0;
  const auto desktop = OpenDesktop(kLayout);
  ASSERT_NE(desktop, nullptr);
  const auto sign = sim::OpenSignDisplay(*desktop, [&views] {
    ++views;
    return sim::SignView{"CPU", true, 'T'};
  });
  ASSERT_NE(sign, nullptr);
  desktop->window().show_form();
  sign->show();
  iow::Clock& clock = sign->clock();
  const milliseconds cpu_before = CpuTime();
  const iow::TimePoint deadline = clock.now() + milliseconds(500);
  clock.sleep_until(deadline);
  EXPECT_GE(clock.now(), deadline);
  // The sign was looked at while the program slept: its window is drawn from it.
  EXPECT_GE(views, 5);
  EXPECT_LT(CpuTime() - cpu_before, milliseconds(250)) << "the sleep spun";
  EXPECT_FALSE(desktop->events().take_event().has_value());
}

}  // namespace
}  // namespace platform

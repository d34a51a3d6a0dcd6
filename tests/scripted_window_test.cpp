// The simulator's window: scripted actions and a real window's clicks in the order made.

#include "sim/scripted_window.hpp"

#include <gtest/gtest.h>

#include <deque>

#include "sim/sim_clock.hpp"

namespace {

using platform::WindowEvent;
using sim::Seconds;

// A real window whose user clicks when the test says so; it notes the deadlines it is
// asked to wait for.
class FakeRealWindow final : public platform::EventQueue {
 public:
  std::optional<WindowEvent> take_event() override {
    if (clicks.empty()) return std::nullopt;
    const WindowEvent event = clicks.front();
    clicks.pop_front();
    return event;
  }
  void wait_event(iow::TimePoint deadline) override { deadlines.push_back(deadline); }

  std::deque<WindowEvent> clicks;
  std::vector<iow::TimePoint> deadlines;
};

TEST(ScriptedWindow, ScriptedActionsAndRealClicksComeInTheOrderTheyWereMade) {
  for (const double real_click_at : {10.0, 30.0}) {
    sim::SimClock clock(0);
    FakeRealWindow real;
    sim::ScriptedWindow window(clock, {{Seconds(20), WindowEvent::MessenClick}}, nullptr, &real);
    // The user clicks Ende while the program is busy; the simulator takes the click in
    // after the wait it arrived in.
    clock.sleep_until(iow::TimePoint{} + Seconds(real_click_at));
    real.clicks.push_back(WindowEvent::EndeClick);
    window.collect_real_events();
    clock.sleep_until(iow::TimePoint{} + Seconds(40));
    const auto first = window.take_event();
    const auto second = window.take_event();
    ASSERT_TRUE(first && second) << real_click_at;
    const bool click_first = real_click_at < 20;
    EXPECT_EQ(*first, click_first ? WindowEvent::EndeClick : WindowEvent::MessenClick) << real_click_at;
    EXPECT_EQ(*second, click_first ? WindowEvent::MessenClick : WindowEvent::EndeClick) << real_click_at;
    EXPECT_FALSE(window.take_event().has_value());
  }
}

TEST(ScriptedWindow, WaitsOnTheRealWindowUntilTheNextActionMappedToItsClock) {
  sim::SimClock clock(0);
  FakeRealWindow real;
  // The real clock runs ten times slower than the program's, from 1000 s on.
  const auto to_real = [](iow::TimePoint t) { return iow::TimePoint{} + Seconds(1000) + (t - iow::TimePoint{}) / 10; };
  sim::ScriptedWindow window(clock, {{Seconds(50), WindowEvent::EndeClick}}, nullptr, &real, nullptr, to_real);
  window.wait_event(iow::TimePoint{} + Seconds(60));
  window.wait_event(iow::TimePoint{} + Seconds(30));
  ASSERT_EQ(real.deadlines.size(), 2u);
  EXPECT_EQ(real.deadlines[0], iow::TimePoint{} + Seconds(1005)) << "the action at 50 s comes first";
  EXPECT_EQ(real.deadlines[1], iow::TimePoint{} + Seconds(1003));
}

}  // namespace

#include "app/reply_timer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zepho {
namespace {

using Kind = ReplyTimer::Call::Kind;

// A platform timer under a simulated clock: periodic, restarted by Set. Runs
// the timer against the starts and stops in `events` and returns the times of
// the ticks passed on, and how often the platform timer was touched.
struct Simulation {
  ReplyTimer timer{30000};
  std::uint32_t now;
  bool platform_running = false;
  std::uint32_t next_fire = 0, period = 0;
  std::vector<std::uint32_t> ticks;  // times of the ticks passed on
  int platform_calls = 0;

  explicit Simulation(std::uint32_t start) : now(start) {}

  void Apply(ReplyTimer::Call c) {
    if (c.kind == Kind::None) return;
    ++platform_calls;
    platform_running = c.kind == Kind::Set;
    period = c.ms;
    next_fire = now + c.ms;
  }
  // Advances the clock to `until`, firing the platform timer on the way.
  void RunTo(std::uint32_t until) {
    while (platform_running && static_cast<std::int32_t>(next_fire - until) <= 0) {
      now = next_fire;
      next_fire = now + period;
      ReplyTimer::Call c;
      if (timer.OnTick(now, c)) ticks.push_back(now);
      Apply(c);
    }
    now = until;
  }
};

// The reference: a platform timer set afresh at every start ticks every
// 30 s after the last start.
TEST(ReplyTimer, TicksAsATimerSetAfreshAtEveryStart) {
  struct Case {
    std::string name;
    std::vector<std::uint32_t> starts;  // times after 0 of each start (command sent)
    std::uint32_t stop_at;              // 0: never stopped
    std::vector<std::uint32_t> ticks;   // expected times of the ticks passed on
  };
  const Case cases[] = {
      {"one start", {0}, 0, {30000, 60000, 90000}},
      {"commands every 100 ms, then silence", {0, 100, 200, 300}, 0, {30300, 60300, 90300}},
      {"a restart 29.9 s in", {0, 29900}, 0, {59900, 89900}},
      {"restarts past a tick", {0, 20000, 45000}, 0, {75000}},
      {"stopped before the first tick", {0, 100}, 20000, {}},
      {"stopped after one tick", {0}, 45000, {30000}},
  };
  for (const std::uint32_t base : {0u, 0xFFFFFFFFu - 40000u}) {  // also across the clock's wrap
    for (const Case& c : cases) {
      Simulation sim(base);
      for (const std::uint32_t at : c.starts) {
        sim.RunTo(base + at);
        sim.Apply(sim.timer.Start(base + at));
      }
      if (c.stop_at) {
        sim.RunTo(base + c.stop_at);
        sim.Apply(sim.timer.Stop());
      }
      sim.RunTo(base + 100000);
      std::vector<std::uint32_t> got;
      for (const std::uint32_t t : sim.ticks) got.push_back(t - base);
      EXPECT_EQ(got, c.ticks) << c.name << " from " << base;
    }
  }
}

TEST(ReplyTimer, RestartsWhileRunningCostNoPlatformCall) {
  Simulation sim(5);
  sim.Apply(sim.timer.Start(5));
  for (std::uint32_t t = 10; t <= 24997; t += 3) sim.Apply(sim.timer.Start(t));
  EXPECT_EQ(sim.platform_calls, 1);
  // The early tick sets the timer for the rest, the due tick back to 30 s.
  sim.RunTo(100000);
  EXPECT_EQ(sim.platform_calls, 3);
  EXPECT_EQ(sim.ticks.front(), 24997u + 30000u);  // the last start + 30 s
}

TEST(ReplyTimer, StopOnlyWhenRunning) {
  ReplyTimer timer(30000);
  EXPECT_EQ(timer.Stop(), ReplyTimer::Call{});
  EXPECT_EQ(timer.Start(0), (ReplyTimer::Call{Kind::Set, 30000}));
  EXPECT_EQ(timer.Stop(), (ReplyTimer::Call{Kind::Kill, 0}));
  EXPECT_FALSE(timer.running());
  // A tick of a timer it does not run is passed on untouched.
  ReplyTimer::Call c;
  EXPECT_TRUE(timer.OnTick(123, c));
  EXPECT_EQ(c, ReplyTimer::Call{});
}

}  // namespace
}  // namespace zepho

// The reply time-out's timer (Timer2): ticks every 30 s, counted from its last
// start, and started afresh at every command sent.
//
// Setting a platform timer is a round trip to the window system that costs as
// much as the rest of a command (under Wine about as much as the server's
// reply). So a restart while the timer runs only moves the next tick's due
// time; a platform tick that comes before it is not passed on, and the timer is
// set for the rest of the interval, then back to the full one. The ticks passed
// on are the ones a timer set afresh at each start would give.
#pragma once

#include <cstdint>

namespace zepho {

class ReplyTimer {
 public:
  // What to do with the platform timer.
  struct Call {
    enum class Kind { None, Set, Kill } kind = Kind::None;
    std::uint32_t ms = 0;  // the interval for Set
    bool operator==(const Call&) const = default;
  };

  explicit ReplyTimer(std::uint32_t interval_ms) : interval_(interval_ms) {}

  // `now` is a millisecond clock that may wrap (GetTickCount).
  Call Start(std::uint32_t now);
  Call Stop();
  // A tick of the platform timer: true when it is a tick of the time-out;
  // `call` says how to set the platform timer for the next one.
  bool OnTick(std::uint32_t now, Call& call);
  bool running() const { return running_; }

  // A tick this much early still counts: platform timers and clocks differ by
  // a few milliseconds.
  static constexpr std::uint32_t kSlackMs = 20;

 private:
  const std::uint32_t interval_;
  bool running_ = false;
  std::uint32_t set_to_ = 0;  // the platform timer's current interval
  std::uint32_t due_ = 0;     // when the next tick of the time-out is due
};

}  // namespace zepho

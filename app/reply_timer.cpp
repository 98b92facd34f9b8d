#include "app/reply_timer.h"

namespace zepho {

namespace {

// Milliseconds from `now` until `when`, negative when past; right across a wrap.
std::int32_t Until(std::uint32_t when, std::uint32_t now) {
  return static_cast<std::int32_t>(when - now);
}

}  // namespace

ReplyTimer::Call ReplyTimer::Start(std::uint32_t now) {
  due_ = now + interval_;
  // Running: its next tick comes at or before the new due time and is looked at then.
  if (running_) return {};
  running_ = true;
  set_to_ = interval_;
  return {Call::Kind::Set, interval_};
}

ReplyTimer::Call ReplyTimer::Stop() {
  if (!running_) return {};
  running_ = false;
  return {Call::Kind::Kill, 0};
}

bool ReplyTimer::OnTick(std::uint32_t now, Call& call) {
  call = {};
  if (!running_) return true;  // not ours to hold back
  const std::int32_t early = Until(due_, now);
  if (early > static_cast<std::int32_t>(kSlackMs)) {
    set_to_ = static_cast<std::uint32_t>(early);
    call = {Call::Kind::Set, set_to_};
    return false;
  }
  // The next tick follows this one's due time, as a periodic timer's does,
  // unless the tick came so late that it would already be past.
  due_ += interval_;
  if (Until(due_, now) <= 0) due_ = now + interval_;
  if (set_to_ != interval_) {
    set_to_ = interval_;
    call = {Call::Kind::Set, interval_};
  }
  return true;
}

}  // namespace zepho

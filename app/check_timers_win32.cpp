#include "app/check_timers_win32.h"

namespace zepho {

void CheckTimersWin32::SetCheckTimer(bool running) {
  if (running)
    SetTimer(window_, kTimer1, kTimerIntervalMs, nullptr);
  else
    KillTimer(window_, kTimer1);
}

void CheckTimersWin32::SetTimeoutTimer(bool running) {
  SetTimer2(running ? timer2_.Start(GetTickCount()) : timer2_.Stop());
}

void CheckTimersWin32::SetCheckBoundTimer(bool running) {
  if (running)
    SetTimer(window_, kCheckBound, kCheckBoundMs, nullptr);
  else
    KillTimer(window_, kCheckBound);
}

void CheckTimersWin32::StopAll() {
  KillTimer(window_, kTimer1);
  timer2_.Stop();
  KillTimer(window_, kTimer2);
  KillTimer(window_, kCheckBound);
}

void CheckTimersWin32::SetTimer2(ReplyTimer::Call call) {
  if (call.kind == ReplyTimer::Call::Kind::Set)
    SetTimer(window_, kTimer2, call.ms, nullptr);
  else if (call.kind == ReplyTimer::Call::Kind::Kill)
    KillTimer(window_, kTimer2);
}

CheckTimersWin32::Tick CheckTimersWin32::OnTimer(UINT_PTR id) {
  if (id == kTimer1) return Tick::Timer1;
  if (id == kCheckBound) return Tick::CheckBound;
  if (id != kTimer2) return Tick::None;
  ReplyTimer::Call call;
  const bool due = timer2_.OnTick(GetTickCount(), call);
  SetTimer2(call);
  return due ? Tick::Timer2 : Tick::None;
}

}  // namespace zepho

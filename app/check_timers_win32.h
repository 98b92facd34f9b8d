// The check cycle's timers on a window: Timer1 (the interval), Timer2 (the
// reply time-out, restarted at every command by noting the time; see
// ReplyTimer) and the whole check's bound.
#pragma once

#include <windows.h>

#include "app/check_cycle.h"
#include "app/reply_timer.h"

namespace zepho {

class CheckTimersWin32 : public CycleTimers {
 public:
  explicit CheckTimersWin32(HWND window) : window_(window) {}
  CheckTimersWin32(const CheckTimersWin32&) = delete;
  CheckTimersWin32& operator=(const CheckTimersWin32&) = delete;

  void SetCheckTimer(bool running) override;
  void SetTimeoutTimer(bool running) override;
  void SetCheckBoundTimer(bool running) override;
  void StopAll();

  enum class Tick { None, Timer1, Timer2, CheckBound };
  // What a WM_TIMER of the window is: a tick of Timer1, a tick of the
  // time-out, the check's bound, or none (Timer2 woken early to meet a moved
  // due time).
  Tick OnTimer(UINT_PTR id);

 private:
  void SetTimer2(ReplyTimer::Call call);

  static constexpr UINT_PTR kTimer1 = 1;  // the check timer
  static constexpr UINT_PTR kTimer2 = 2;  // the reply time-out
  static constexpr UINT_PTR kCheckBound = 3;

 public:
  // The connection's own timer on the same window (its connect attempts).
  static constexpr UINT_PTR kConnectAttempts = 4;

 private:
  HWND window_;
  ReplyTimer timer2_{kTimerIntervalMs};
};

}  // namespace zepho

// The check cycle's message boxes, owned by the application window: a fixed
// notice (OK, or OK and Cancel), a failed TLS connection, a failed settings write.
#pragma once

#include <windows.h>

#include "app/check_cycle.h"

namespace zepho {

class MessageBoxesWin32 : public CycleNotices {
 public:
  explicit MessageBoxesWin32(HWND owner) : owner_(owner) {}

  void InfoBox(Notice notice) override;
  bool ConfirmBox(Notice notice) override;
  void TlsFailureBox(const std::string& server, const TlsFailure& failure) override;
  void WriteErrorBox(const SettingsWriteError& error) override;

 private:
  HWND owner_;
};

}  // namespace zepho

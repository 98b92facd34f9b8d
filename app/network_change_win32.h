// Tells the application window when the system gets a new network address,
// so that a program offline tries again at once: NotifyUnicastIpAddressChange
// where the system has it (Vista on), NotifyAddrChange before. Both are looked
// up by name: the program runs on systems without the first. Under Wine
// neither ever reports a change; there the retry schedule does all the work.
#pragma once

#include <windows.h>

namespace zepho {

class NetworkChangeWin32 {
 public:
  // Each change posts `message` to `notify`.
  NetworkChangeWin32(HWND notify, UINT message) : notify_(notify), message_(message) {}
  ~NetworkChangeWin32() { Stop(); }
  NetworkChangeWin32(const NetworkChangeWin32&) = delete;
  NetworkChangeWin32& operator=(const NetworkChangeWin32&) = delete;

  // False when the system offers no notification.
  bool Start();
  void Stop();

 private:
  struct Target;
  bool StartUnicast();
  bool StartAddrChange();

  HWND notify_;
  UINT message_;
  // What the system's callbacks post to; kept for the process's life once
  // made (a registration without a handle cannot be cancelled).
  Target* target_ = nullptr;
  HANDLE unicast_ = nullptr;
  HANDLE wait_ = nullptr;
};

}  // namespace zepho

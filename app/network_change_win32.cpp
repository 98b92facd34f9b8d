#include "app/network_change_win32.h"

#include <winsock2.h>

#include <atomic>

namespace zepho {

namespace {

// The calls of iphlpapi.dll, from its own header's later versions.
using UnicastCallback = void(WINAPI*)(void* context, void* row, int type);
using NotifyUnicastFn = DWORD(WINAPI*)(USHORT family, UnicastCallback, void* context,
                                       BOOLEAN initial, HANDLE* handle);
using CancelMibFn = DWORD(WINAPI*)(HANDLE);
using NotifyAddrChangeFn = DWORD(WINAPI*)(HANDLE* handle, OVERLAPPED* overlapped);
constexpr int kMibInitialNotification = 3;

template <class F>
F Find(const char* name) {
  HMODULE m = LoadLibraryW(L"iphlpapi.dll");
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

}  // namespace

struct NetworkChangeWin32::Target {
  HWND notify;
  UINT message;
  std::atomic<bool> live{true};
  // NotifyAddrChange's request: it must stay valid as long as it may complete.
  OVERLAPPED overlapped{};
  NotifyAddrChangeFn notify_addr_change = nullptr;

  void Post() {
    if (live) PostMessageW(notify, message, 0, 0);
  }
  bool ArmAddrChange() {
    HANDLE handle = nullptr;
    return notify_addr_change(&handle, &overlapped) == ERROR_IO_PENDING;
  }

  // On a thread of the system's: only posting is safe here.
  static void WINAPI OnUnicast(void* context, void*, int type) {
    if (type != kMibInitialNotification) static_cast<Target*>(context)->Post();
  }
  static void CALLBACK OnAddrChange(void* context, BOOLEAN) {
    auto* t = static_cast<Target*>(context);
    ResetEvent(t->overlapped.hEvent);
    t->Post();
    if (t->live) t->ArmAddrChange();
  }
};

bool NetworkChangeWin32::Start() {
  Stop();
  target_ = new Target{notify_, message_};
  if (StartUnicast() || StartAddrChange()) return true;
  Stop();
  return false;
}

bool NetworkChangeWin32::StartUnicast() {
  const auto notify = Find<NotifyUnicastFn>("NotifyUnicastIpAddressChange");
  if (!notify) return false;
  // The first call only tells the state as it is: it is not posted.
  return notify(AF_UNSPEC, &Target::OnUnicast, target_, FALSE, &unicast_) == NO_ERROR;
}

bool NetworkChangeWin32::StartAddrChange() {
  target_->notify_addr_change = Find<NotifyAddrChangeFn>("NotifyAddrChange");
  if (!target_->notify_addr_change) return false;
  target_->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!target_->overlapped.hEvent || !target_->ArmAddrChange()) return false;
  return RegisterWaitForSingleObject(&wait_, target_->overlapped.hEvent, &Target::OnAddrChange,
                                     target_, INFINITE, WT_EXECUTEDEFAULT);
}

void NetworkChangeWin32::Stop() {
  if (!target_) return;
  target_->live = false;
  if (unicast_) {
    if (const auto cancel = Find<CancelMibFn>("CancelMibChangeNotify2")) cancel(unicast_);
    unicast_ = nullptr;
  }
  if (wait_) {
    UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
    wait_ = nullptr;
  }
  // Not freed: a request may still complete into it, and a registration
  // without a handle (Wine's) may still call; it posts nothing any more.
  target_ = nullptr;
}

}  // namespace zepho

// The network change notifications a program can ask for, as the platform
// answers them. Under Wine 8 none of them ever reports a change (addresses and
// interfaces added in a network namespace were not reported): a program may
// use them to check sooner on Windows, never to check at all.
#include <winsock2.h>
#include <ws2ipdef.h>
#include <windows.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <atomic>

namespace zepho {
namespace {

// Newer than the Windows version the program targets (Vista and later, and
// Wine): looked up by name, as the program would.
using UnicastCallback = void(WINAPI*)(void* context, void* row, int type);
using NotifyUnicast = DWORD(WINAPI*)(USHORT family, UnicastCallback, void* context,
                                     BOOLEAN initial, HANDLE* handle);
using CancelNotify2 = DWORD(WINAPI*)(HANDLE);
constexpr int kMibInitialNotification = 3;

template <class F>
F Find(const wchar_t* module, const char* name) {
  HMODULE m = LoadLibraryW(module);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

struct Seen {
  std::atomic<int> calls{0};
  std::atomic<int> type{-1};
};

void WINAPI OnUnicastChange(void* context, void*, int type) {
  auto* seen = static_cast<Seen*>(context);
  seen->type = type;
  ++seen->calls;
}

TEST(NetworkChange, UnicastAddressChangeGivesTheFirstNotification) {
  const auto notify = Find<NotifyUnicast>(L"iphlpapi.dll", "NotifyUnicastIpAddressChange");
  const auto cancel = Find<CancelNotify2>(L"iphlpapi.dll", "CancelMibChangeNotify2");
  ASSERT_TRUE(notify && cancel);
  Seen seen;
  HANDLE handle = nullptr;
  ASSERT_EQ(notify(AF_UNSPEC, &OnUnicastChange, &seen, TRUE, &handle), static_cast<DWORD>(NO_ERROR));
  for (int i = 0; i < 200 && seen.calls == 0; ++i) Sleep(10);
  ASSERT_GE(seen.calls, 1);
  // The first call says "here is the state", not "it changed". Wine makes it
  // at once on the caller's thread, its row null, before the handle is known;
  // Windows on a thread of its own: the callback may only post.
  EXPECT_EQ(seen.type, kMibInitialNotification);
  // Wine hands out no handle: cancel only what was handed out.
  if (handle) {
    EXPECT_EQ(cancel(handle), static_cast<DWORD>(NO_ERROR));
  }
}

TEST(NetworkChange, AddressChangeWaitsOnAnOverlappedThatMayOutliveItsCancel) {
  const auto notify = Find<DWORD(WINAPI*)(HANDLE*, OVERLAPPED*)>(L"iphlpapi.dll", "NotifyAddrChange");
  const auto cancel = Find<BOOL(WINAPI*)(OVERLAPPED*)>(L"iphlpapi.dll", "CancelIPChangeNotify");
  ASSERT_TRUE(notify && cancel);
  // Heap-held: it must stay valid as long as the request may complete.
  auto* overlapped = new OVERLAPPED{};
  overlapped->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE handle = nullptr;
  ASSERT_EQ(notify(&handle, overlapped), static_cast<DWORD>(ERROR_IO_PENDING));
  EXPECT_EQ(WaitForSingleObject(overlapped->hEvent, 200), static_cast<DWORD>(WAIT_TIMEOUT));
  if (cancel(overlapped)) {
    // Windows: the request completes, aborted; then it may be freed.
    EXPECT_EQ(WaitForSingleObject(overlapped->hEvent, 2000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(overlapped->hEvent);
    delete overlapped;
  } else {
    // Wine: the cancel fails and the request never completes. Freeing the
    // OVERLAPPED would be unsafe where a request can still complete, so it
    // is left alone.
    EXPECT_EQ(WaitForSingleObject(overlapped->hEvent, 200), static_cast<DWORD>(WAIT_TIMEOUT));
  }
}

}  // namespace
}  // namespace zepho

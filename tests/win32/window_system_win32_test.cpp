// The window system adapter and the drive sequences' menu test against real
// windows. Wine keeps menus to the owning process, so the "client" here is a
// window owned by a second thread of this test program: its menus can be read,
// and messages to it cross threads as they would cross programs.
#include "companion/window_system_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>

#include "companion/companion_driver.h"

namespace zepho {
namespace {

// What the client window does when its fourth menu is about to open.
std::atomic<bool> g_receiving{false};
std::atomic<int> g_prepared{0};
std::atomic<bool> g_hanging{false};
HMENU g_server_menu = nullptr;

constexpr UINT kHangMessage = WM_APP + 1;  // wParam: for how many ms the thread stops

LRESULT CALLBACK ClientProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kHangMessage) {
    g_hanging = true;
    Sleep(static_cast<DWORD>(wp));
    return 0;
  }
  if (msg == WM_INITMENUPOPUP && reinterpret_cast<HMENU>(wp) == g_server_menu) {
    // Like the client: the server items are greyed while it receives.
    ++g_prepared;
    for (int i = 0; i < GetMenuItemCount(g_server_menu); ++i)
      EnableMenuItem(g_server_menu, i, MF_BYPOSITION | (g_receiving ? MF_GRAYED : MF_ENABLED));
    return 0;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

HMENU ClientMenuBar(int menus) {
  HMENU bar = CreateMenu();
  for (int i = 0; i < menus; ++i) {
    HMENU sub = CreatePopupMenu();
    if (i == 3) {
      AppendMenuW(sub, MF_STRING, 1, L"アカウント");
      AppendMenuW(sub, MF_STRING, 2, L"サーバに接続する(&C)");
      AppendMenuW(sub, MF_STRING, 3, L"サーバから切断する(&D)");
      g_server_menu = sub;
    }
    AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), L"Menu");
  }
  return bar;
}

// A top-level window owned by a thread of its own, with its own message loop.
class ClientWindow {
 public:
  ClientWindow(const wchar_t* title, const wchar_t* cls, int menus) {
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    thread_ = std::thread([=, this] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = ClientProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = cls;
      RegisterClassW(&wc);
      hwnd_ = CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                              menus ? ClientMenuBar(menus) : nullptr, wc.hInstance, nullptr);
      thread_id_ = GetCurrentThreadId();
      SetEvent(ready);
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
      DestroyWindow(hwnd_);
      UnregisterClassW(cls, wc.hInstance);
    });
    WaitForSingleObject(ready, 10000);
    CloseHandle(ready);
  }
  ~ClientWindow() {
    PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  WindowId id() const { return reinterpret_cast<WindowId>(hwnd_); }
  HWND hwnd() const { return hwnd_; }
  // The thread stops handling messages for a while, as a hung program does.
  void Hang(DWORD ms) {
    g_hanging = false;
    PostMessageW(hwnd_, kHangMessage, ms, 0);
    while (!g_hanging) Sleep(10);
  }

 private:
  std::thread thread_;
  HWND hwnd_ = nullptr;
  DWORD thread_id_ = 0;
};

WindowSystemWin32 Adapter() {
  return WindowSystemWin32([] {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  });
}

TEST(WindowSystemWin32, FindCompanionFindsTheClientsMainWindowAmongRealWindows) {
  ClientWindow notes(L"Corvel メモ", L"ZEPHOTestNotes", 0);
  ClientWindow main(L"Corvel32 - [受信箱]", L"AfxFrameOrView42sTest", 4);
  WindowSystemWin32 ws = Adapter();
  CompanionDriver driver(ws, [] { return DriveOptions{}; }, [] {});
  driver.FindCompanion();
  EXPECT_EQ(driver.CompanionFound, 1);
  EXPECT_EQ(driver.CompanionWindow, main.id());
  // Titles come as code page 932 bytes.
  EXPECT_EQ(ws.WindowTitle(main.id(), 255), "Corvel32 - [\x8E\xF3\x90\x4D\x94\xA0]");
  EXPECT_EQ(ws.ClassName(main.id(), 255), "AfxFrameOrView42sTest");
}

TEST(WindowSystemWin32, TextsAreCutToTheBufferNeverInsideACharacter) {
  // 127 double-byte characters are 254 bytes; one more does not fit into 255.
  const std::wstring title = std::wstring(127, L'受') + L"信";
  ClientWindow w(title.c_str(), L"ZEPHOTestLong", 0);
  WindowSystemWin32 ws = Adapter();
  EXPECT_EQ(ws.WindowTitle(w.id(), 255).size(), 254u);
  EXPECT_EQ(ws.WindowTitle(w.id(), 254).size(), 252u);
}

TEST(WindowSystemWin32, FindsTheSortingWindowByItsJapaneseTitle) {
  ClientWindow sorting(L"メール振り分け", L"ZEPHOTestSorting", 0);
  WindowSystemWin32 ws = Adapter();
  EXPECT_EQ(ws.FindByTitle(companion::kSortingTitle), sorting.id());
  EXPECT_EQ(ws.FindByClass("ZEPHOTestSorting"), sorting.id());
  EXPECT_EQ(ws.FindByClass("ZEPHOTestNoSuchClass"), 0u);
}

TEST(WindowSystemWin32, IsServerItemGrayedPreparesTheFourthMenuThenReadsIt) {
  struct Case {
    const char* name;
    int menus;
    bool receiving;
    std::int32_t expected;
    int prepared;
  };
  const Case cases[] = {
      {"receiving", 4, true, 1, 1},
      {"not receiving", 4, false, 0, 1},
      {"three menus only", 3, true, 0, 0},
      {"no menu bar", 0, true, 0, 0},
  };
  for (const Case& c : cases) {
    g_server_menu = nullptr;
    g_prepared = 0;
    g_receiving = c.receiving;
    ClientWindow w(L"Corvel32", L"AfxTestMenus", c.menus);
    // The items start the other way round: only the prepared state can give the answer.
    if (g_server_menu)
      for (int i = 0; i < 3; ++i)
        EnableMenuItem(g_server_menu, i, MF_BYPOSITION | (c.receiving ? MF_ENABLED : MF_GRAYED));
    WindowSystemWin32 ws = Adapter();
    CompanionDriver driver(ws, [] { return DriveOptions{}; }, [] {});
    EXPECT_EQ(driver.IsServerItemGrayed(w.id()), c.expected) << c.name;
    EXPECT_EQ(g_prepared, c.prepared) << c.name;
  }
}

TEST(WindowSystemWin32, SendIsBoundedAndFailsForAGoneWindow) {
  WindowSystemWin32 ws = Adapter();
  WindowId gone = 0;
  {
    ClientWindow w(L"x", L"ZEPHOTestSend", 0);
    EXPECT_TRUE(ws.Send(w.id(), WM_NULL, 0, 0, 1000));
    w.Hang(1500);
    const DWORD start = GetTickCount();
    EXPECT_FALSE(ws.Send(w.id(), WM_NULL, 0, 0, 300));
    EXPECT_LT(GetTickCount() - start, 2000u);
    gone = w.id();
  }
  EXPECT_FALSE(ws.Exists(gone));
  EXPECT_FALSE(ws.Visible(gone));
  EXPECT_FALSE(ws.Send(gone, WM_NULL, 0, 0, 1000));
}

TEST(WindowSystemWin32, AnErrorInTheSearchComesBackOutOfTheEnumeration) {
  ClientWindow w(L"Corvel32", L"AfxTestThrow", 0);
  WindowSystemWin32 ws = Adapter();
  int visited = 0;
  EXPECT_THROW(ws.EnumerateWindows([&](WindowId) -> bool {
    ++visited;
    throw std::bad_alloc();
  }),
               std::bad_alloc);
  EXPECT_EQ(visited, 1);  // the enumeration stopped at the error
}

TEST(WindowSystemWin32, WaitForMessageReturnsEarlyWhenOneArrives) {
  WindowSystemWin32 ws = Adapter();
  ws.Pump();
  const std::uint32_t start = ws.NowMs();
  ws.WaitForMessage(200);
  EXPECT_GE(ws.NowMs() - start, 150u);  // nothing came: the whole time
  PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);
  const std::uint32_t again = ws.NowMs();
  ws.WaitForMessage(5000);
  EXPECT_LT(ws.NowMs() - again, 1000u);
  ws.Pump();
}

}  // namespace
}  // namespace zepho

// WM_POWERBROADCAST posted by another program to a program's hidden window
// comes as posted, in order and with its wParam: how a test stands in for
// sleep and wake-up, which Wine never reports by itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace zepho {
namespace {

constexpr wchar_t kClass[] = L"ZEPHOPowerTest";
std::vector<WPARAM> g_seen;

LRESULT CALLBACK PowerProc(HWND h, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_POWERBROADCAST) {
    g_seen.push_back(wp);
    if (wp == PBT_APMRESUMESUSPEND) PostQuitMessage(0);
    return TRUE;
  }
  return DefWindowProcW(h, msg, wp, lp);
}

// Run as a child by the next test: a hidden top-level window like the
// program's application window, which records what it is told.
TEST(PowerBroadcast, ChildWindowHearsSleepAndWake) {
  if (!std::getenv("ZEPHO_POWER_CHILD")) GTEST_SKIP() << "the next test's child";
  WNDCLASSW wc{};
  wc.lpfnWndProc = PowerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  ASSERT_TRUE(RegisterClassW(&wc));
  HWND window = CreateWindowW(kClass, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              wc.hInstance, nullptr);
  ASSERT_TRUE(window);
  ASSERT_FALSE(IsWindowVisible(window));
  SetTimer(window, 1, 10000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER) break;
    DispatchMessageW(&msg);
  }
  DestroyWindow(window);
  EXPECT_EQ(g_seen, (std::vector<WPARAM>{PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC,
                                         PBT_APMRESUMESUSPEND}));
}

TEST(PowerBroadcast, PostedToAnotherProgramsHiddenWindow) {
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command =
      L"\"" + std::wstring(exe) + L"\" --gtest_filter=PowerBroadcast.ChildWindowHearsSleepAndWake";
  SetEnvironmentVariableW(L"ZEPHO_POWER_CHILD", L"1");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const BOOL started =
      CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(L"ZEPHO_POWER_CHILD", nullptr);
  ASSERT_TRUE(started);
  HWND target = nullptr;
  for (int i = 0; i < 100 && !target; ++i) {
    target = FindWindowW(kClass, nullptr);
    if (!target) Sleep(50);
  }
  EXPECT_TRUE(target) << "the child's window is found";
  if (target) {
    for (WPARAM event : {WPARAM{PBT_APMSUSPEND}, WPARAM{PBT_APMRESUMEAUTOMATIC},
                         WPARAM{PBT_APMRESUMESUSPEND}})
      EXPECT_TRUE(PostMessageW(target, WM_POWERBROADCAST, event, 0));
  }
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 15000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u) << "the child saw the three, in order";
}

}  // namespace
}  // namespace zepho

// The name look-up off the window thread, against Wine's real getaddrinfo.
// The tests named Resolver* need tests/fixtures/private_resolver.sh around the
// test program (a hosts file and a stand-in name server of their own, so a
// look-up can hang or come late); elsewhere they are skipped.
#include "pop3/address_lookup_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "pop3/socket_transport_win32.h"
#include "unit/ip_address_printer.h"

namespace zepho {
namespace {

constexpr UINT kLookupMessage = WM_APP + 20;
using Status = LookupOutcome::Status;
using G = std::array<std::uint16_t, 8>;

const IpAddress kLoop6 = Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1});
const IpAddress kLoop4 = Ipv4(127, 0, 0, 1);

// A message-only window; the test thread pumps it and keeps what was posted.
class LookupWindow {
 public:
  LookupWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZEPHOLookupTest";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          wc.hInstance, nullptr);
  }
  ~LookupWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

  // Pumps for `ms`, or until `stop` holds after a message; returns the longest
  // the thread was kept from pumping, in ms.
  template <class Stop>
  DWORD Pump(DWORD ms, Stop stop) {
    const DWORD start = GetTickCount();
    DWORD last = start, longest = 0;
    while (GetTickCount() - start < ms) {
      MSG msg;
      while (PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) {
        if (msg.message == kLookupMessage) {
          posted.push_back(msg.wParam);
          if (stop(msg.wParam)) return longest;
        }
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      const DWORD now = GetTickCount();
      longest = std::max(longest, now - last);
      last = now;
    }
    return longest;
  }
  void Pump(DWORD ms) {
    Pump(ms, [](WPARAM) { return false; });
  }

  std::vector<WPARAM> posted;

 private:
  HWND hwnd_;
};

struct LookupTest : ::testing::Test {
  void SetUp() override { ASSERT_EQ(StartupSockets(), 0); }
  void TearDown() override { CleanupSockets(); }

  // Starts `name` and pumps until its outcome is taken (or `ms` pass).
  std::optional<LookupOutcome> LookUp(AddressLookup& lookup, const std::string& name,
                                      DWORD ms = 10000) {
    if (!lookup.Start(name)) return std::nullopt;
    std::optional<LookupOutcome> got;
    window.Pump(ms, [&](WPARAM w) { return (got = lookup.Take(w)).has_value(); });
    return got;
  }

  LookupWindow window;
};

bool InPrivateResolver() { return std::getenv("ZEPHO_PRIVATE_RESOLVER") != nullptr; }

#define NEEDS_PRIVATE_RESOLVER() \
  if (!InPrivateResolver()) GTEST_SKIP() << "runs under tests/fixtures/private_resolver.sh"

TEST_F(LookupTest, FindsTheAddressesOfANameAndOfALiteral) {
  AddressLookup lookup(window.hwnd(), kLookupMessage);
  const auto local = LookUp(lookup, "localhost");
  ASSERT_TRUE(local);
  EXPECT_EQ(local->status, Status::Found);
  EXPECT_NE(std::find(local->addresses.begin(), local->addresses.end(), kLoop4),
            local->addresses.end());
  EXPECT_FALSE(lookup.busy());
  // Wine's getaddrinfo takes a bracketed literal too; the program strips the
  // brackets itself, since Windows' does not.
  for (const char* literal : {"::1", "[::1]"}) {
    const auto got = LookUp(lookup, literal);
    ASSERT_TRUE(got) << literal;
    EXPECT_EQ(got->status, Status::Found) << literal;
    EXPECT_EQ(got->addresses, std::vector<IpAddress>{kLoop6}) << literal;
  }
  const auto scoped = LookUp(lookup, "fe80::1%1");
  ASSERT_TRUE(scoped);
  ASSERT_EQ(scoped->addresses.size(), 1u);
  EXPECT_EQ(scoped->addresses[0].scope_id, 1u) << "the zone comes back";
  EXPECT_EQ(window.posted.size(), 4u) << "one message per look-up";
}

TEST_F(LookupTest, OnlyTheLatestLookUpIsTaken) {
  AddressLookup lookup(window.hwnd(), kLookupMessage);
  ASSERT_TRUE(lookup.Start("localhost"));
  ASSERT_TRUE(lookup.Start("::1"));  // lets the first go
  std::optional<LookupOutcome> got;
  window.Pump(5000, [&](WPARAM w) { return (got = lookup.Take(w)).has_value(); });
  ASSERT_TRUE(got);
  EXPECT_EQ(got->addresses, std::vector<IpAddress>{kLoop6});
  window.Pump(300);
  for (WPARAM w : window.posted) EXPECT_FALSE(lookup.Take(w)) << "nothing more to take";
}

TEST_F(LookupTest, ACancelledLookUpGivesNothing) {
  AddressLookup lookup(window.hwnd(), kLookupMessage);
  ASSERT_TRUE(lookup.Start("localhost"));
  lookup.Cancel();
  EXPECT_FALSE(lookup.busy());
  window.Pump(500);
  for (WPARAM w : window.posted) EXPECT_FALSE(lookup.Take(w));
  lookup.Cancel();  // harmless when nothing runs
}

// A name the hosts file gives only ::1, or ::1 and 127.0.0.1: Wine returns
// the C library's order, IPv6 first, whatever the order of the file's lines.
TEST_F(LookupTest, ResolverOrderOfIpv6AndIpv4) {
  NEEDS_PRIVATE_RESOLVER();
  AddressLookup lookup(window.hwnd(), kLookupMessage);
  const auto v6 = LookUp(lookup, "v6only.zepho.test");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->addresses, std::vector<IpAddress>{kLoop6});
  const auto dual = LookUp(lookup, "dual.zepho.test");
  ASSERT_TRUE(dual);
  EXPECT_EQ(dual->addresses, (std::vector<IpAddress>{kLoop6, kLoop4}));
}

TEST_F(LookupTest, ResolverFailuresAreToldApart) {
  NEEDS_PRIVATE_RESOLVER();
  AddressLookup lookup(window.hwnd(), kLookupMessage);
  const struct {
    const char* name;
    Status status;
    int error;
  } cases[] = {
      {"nosuch.zepho.test", Status::NoSuchName, WSAHOST_NOT_FOUND},
      {"empty.zepho.test", Status::NoSuchName, WSAHOST_NOT_FOUND},
      {"servfail.zepho.test", Status::NoAnswer, WSATRY_AGAIN},
  };
  for (const auto& c : cases) {
    const auto got = LookUp(lookup, c.name);
    ASSERT_TRUE(got) << c.name;
    EXPECT_EQ(got->status, c.status) << c.name;
    EXPECT_EQ(got->error, c.error) << c.name;
    EXPECT_TRUE(got->addresses.empty()) << c.name;
  }
  const auto found = LookUp(lookup, "a-10-9-8-7.zepho.test");
  ASSERT_TRUE(found);
  EXPECT_EQ(found->addresses, std::vector<IpAddress>{Ipv4(10, 9, 8, 7)});
}

TEST_F(LookupTest, ResolverSlowAnswerComesWithoutBlockingTheThread) {
  NEEDS_PRIVATE_RESOLVER();
  AddressLookup lookup(window.hwnd(), kLookupMessage, 5000);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(lookup.Start("after-1500.zepho.test"));
  EXPECT_LT(GetTickCount() - start, 200u) << "Start does not wait for the answer";
  std::optional<LookupOutcome> got;
  const DWORD longest =
      window.Pump(5000, [&](WPARAM w) { return (got = lookup.Take(w)).has_value(); });
  ASSERT_TRUE(got);
  EXPECT_GE(GetTickCount() - start, 1400u);
  EXPECT_EQ(got->status, Status::Found);
  EXPECT_EQ(got->addresses, std::vector<IpAddress>{kLoop4});
  EXPECT_LT(longest, 500u) << "the window thread kept pumping";
}

TEST_F(LookupTest, ResolverHangIsBoundedAndItsLateAnswerDropped) {
  NEEDS_PRIVATE_RESOLVER();
  // The stand-in never answers; the resolver gives up after 5 s, the bound first.
  AddressLookup lookup(window.hwnd(), kLookupMessage, 1000);
  const DWORD start = GetTickCount();
  ASSERT_TRUE(lookup.Start("x.hang.zepho.test"));
  std::optional<LookupOutcome> got;
  const DWORD longest =
      window.Pump(4000, [&](WPARAM w) { return (got = lookup.Take(w)).has_value(); });
  const DWORD elapsed = GetTickCount() - start;
  ASSERT_TRUE(got);
  EXPECT_EQ(got->status, Status::TimedOut);
  EXPECT_GE(elapsed, 950u);
  EXPECT_LT(elapsed, 2500u);
  EXPECT_LT(longest, 500u);
  EXPECT_FALSE(lookup.busy());
  // The worker's own end, after the resolver gave up, posts nothing more.
  const std::size_t before = window.posted.size();
  window.Pump(5500);
  EXPECT_EQ(window.posted.size(), before);
  // And the next look-up works as ever.
  const auto next = LookUp(lookup, "v6only.zepho.test");
  ASSERT_TRUE(next);
  EXPECT_EQ(next->status, Status::Found);
}

TEST_F(LookupTest, ResolverAnswerAfterCancelIsDropped) {
  NEEDS_PRIVATE_RESOLVER();
  AddressLookup lookup(window.hwnd(), kLookupMessage, 5000);
  ASSERT_TRUE(lookup.Start("after-800.zepho.test"));
  window.Pump(100);
  lookup.Cancel();
  ASSERT_TRUE(lookup.Start("a-10-1-1-1.zepho.test"));
  std::optional<LookupOutcome> got;
  window.Pump(3000, [&](WPARAM w) { return (got = lookup.Take(w)).has_value(); });
  ASSERT_TRUE(got);
  EXPECT_EQ(got->addresses, std::vector<IpAddress>{Ipv4(10, 1, 1, 1)});
  window.Pump(1500);  // the cancelled one's answer has come by now
  EXPECT_EQ(window.posted.size(), 1u) << "the cancelled look-up posted nothing";
}

TEST_F(LookupTest, ResolverOwnerGoneWhileTheWorkerHangs) {
  NEEDS_PRIVATE_RESOLVER();
  {
    LookupWindow gone;
    AddressLookup lookup(gone.hwnd(), kLookupMessage, 60000);
    ASSERT_TRUE(lookup.Start("y.hang.zepho.test"));
  }  // the lookup, then its window, destroyed while getaddrinfo waits
  window.Pump(5500);  // the resolver gives up: the worker ends on its own
  EXPECT_TRUE(window.posted.empty());
  AddressLookup lookup(window.hwnd(), kLookupMessage);
  const auto after = LookUp(lookup, "dual.zepho.test");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->status, Status::Found);
}

// Run as a child by the next test: starts a look-up that hangs and returns.
TEST_F(LookupTest, ResolverChildLeavesWithAHungLookUp) {
  if (!std::getenv("ZEPHO_LOOKUP_CHILD")) GTEST_SKIP() << "the next test's child";
  // Let go when the test ends, as the program does when it closes.
  AddressLookup lookup(window.hwnd(), kLookupMessage, 60000);
  ASSERT_TRUE(lookup.Start("z.hang.zepho.test"));
  window.Pump(100);
}

TEST_F(LookupTest, ResolverExitDoesNotWaitForAHungLookUp) {
  NEEDS_PRIVATE_RESOLVER();
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) +
                         L"\" --gtest_filter=LookupTest.ResolverChildLeavesWithAHungLookUp";
  SetEnvironmentVariableW(L"ZEPHO_LOOKUP_CHILD", L"1");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const DWORD start = GetTickCount();
  const BOOL started =
      CreateProcessW(exe, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableW(L"ZEPHO_LOOKUP_CHILD", nullptr);
  ASSERT_TRUE(started);
  const DWORD waited = WaitForSingleObject(pi.hProcess, 15000);
  const DWORD elapsed = GetTickCount() - start;
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0);
  EXPECT_EQ(code, 0u) << "the child's test passed";
  // The look-up hangs 5 s; a process start under Wine takes well under 1 s.
  EXPECT_LT(elapsed, 4000u);
}

}  // namespace
}  // namespace zepho

// Connecting to a server's addresses in turn, with real sockets on loopback:
// a refused address costs nothing, a silent one one stagger, and a name that
// resolves to ::1 and 127.0.0.1 reaches a server on 127.0.0.1 at once. The
// Resolver tests need tests/fixtures/private_resolver.sh (their names are in
// its hosts file); elsewhere they are skipped.
#include "pop3/socket_dialer_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "pop3/address_lookup_win32.h"
#include "pop3/socket_transport_win32.h"
#include "select_window.h"

namespace zepho {
namespace {

using test::kSelectMessage;
using test::LoopbackListener;
using Result = SocketDialer::Result;
using G = std::array<std::uint16_t, 8>;

constexpr UINT_PTR kTimerId = 77;
constexpr UINT kLookupMessage = WM_APP + 31;
const IpAddress kLoop6 = Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1});
const IpAddress kLoop4 = Ipv4(127, 0, 0, 1);

// A listener that never completes a connection: its accept queue is full, so
// the system drops further SYNs and a connect to it waits (on Linux; Windows
// would refuse).
class SilentListener {
 public:
  // On `port`, or on a port of its own.
  explicit SilentListener(const IpAddress& ip, unsigned short port = 0) {
    s_ = socket(ip.family == IpAddress::Family::V4 ? AF_INET : AF_INET6, SOCK_STREAM, 0);
    int len = 0;
    sockaddr_storage a = test::SocketAddress(ip, port, len);
    if (bind(s_, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(s_, 0) != 0) return;
    getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(reinterpret_cast<sockaddr_in*>(&a)->sin_port);
    for (int i = 0; i < 4; ++i) {
      SOCKET f = socket(a.ss_family, SOCK_STREAM, 0);
      u_long nonblocking = 1;
      ioctlsocket(f, FIONBIO, &nonblocking);
      connect(f, reinterpret_cast<sockaddr*>(&a), len);
      fillers_.push_back(f);
    }
    Sleep(200);
    ok_ = true;
  }
  ~SilentListener() {
    for (SOCKET f : fillers_) closesocket(f);
    closesocket(s_);
  }
  bool ok() const { return ok_; }
  unsigned short port() const { return port_; }

 private:
  SOCKET s_;
  unsigned short port_ = 0;
  std::vector<SOCKET> fillers_;
  bool ok_ = false;
};

struct DialerTest : ::testing::Test {
  void SetUp() override { ASSERT_EQ(StartupSockets(), 0); }
  void TearDown() override {
    if (taken != INVALID_SOCKET) closesocket(taken);
    CleanupSockets();
  }

  // Pumps the window into the dialer until the outcome; `elapsed` in ms.
  Result Dial(SocketDialer& dialer, const std::vector<IpAddress>& addresses,
              unsigned short port, DWORD& elapsed, DWORD ms = 10000) {
    const DWORD start = GetTickCount();
    Result r = dialer.Begin(addresses, port);
    while (r == Result::Connecting && GetTickCount() - start < ms) {
      MSG msg;
      while (r == Result::Connecting && PeekMessageW(&msg, window.hwnd(), 0, 0, PM_REMOVE)) {
        if (msg.message == kSelectMessage) {
          const Result got = dialer.OnSocketEvent(msg.wParam, msg.lParam);
          if (got != Result::NotMine) r = got;
        } else if (msg.message == WM_TIMER && msg.wParam == kTimerId) {
          r = dialer.OnTimer();
        }
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    elapsed = GetTickCount() - start;
    if (r == Result::Connected) taken = dialer.TakeConnected();
    return r;
  }

  test::SelectWindow window;
  SOCKET taken = INVALID_SOCKET;
};

TEST_F(DialerTest, ReachesAServerOnIpv6AndHandsTheSocketOver) {
  LoopbackListener server(kLoop6);
  ASSERT_TRUE(server.ok());
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId);
  DWORD elapsed;
  ASSERT_EQ(Dial(dialer, {kLoop6}, server.port(), elapsed), Result::Connected);
  EXPECT_EQ(dialer.address(), kLoop6);
  ASSERT_NE(taken, INVALID_SOCKET);
  EXPECT_EQ(dialer.TakeConnected(), INVALID_SOCKET) << "handed over once";
  // Its notifications come as before, now the transport's.
  SOCKET peer = server.Accept();
  send(peer, "+OK\r\n", 5, 0);
  test::SelectEvent e;
  ASSERT_TRUE(window.Next(e));
  EXPECT_EQ(e.socket, taken);
  EXPECT_EQ(e.event, FD_READ);
  EXPECT_EQ(dialer.OnSocketEvent(static_cast<WPARAM>(e.socket), WSAMAKESELECTREPLY(e.event, 0)),
            Result::NotMine);
  closesocket(peer);
}

TEST_F(DialerTest, ARefusedAddressCostsNothing) {
  LoopbackListener server(kLoop4);
  ASSERT_TRUE(server.ok());
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId);
  DWORD elapsed;
  ASSERT_EQ(Dial(dialer, {kLoop6, kLoop4}, server.port(), elapsed), Result::Connected);
  EXPECT_EQ(dialer.address(), kLoop4);
  EXPECT_LT(elapsed, 1000u) << "well within the 2 s stagger";
}

TEST_F(DialerTest, ASilentAddressCostsOneStagger) {
  LoopbackListener server(kLoop4);
  ASSERT_TRUE(server.ok());
  SilentListener silent(kLoop6, server.port());
  ASSERT_TRUE(silent.ok());
  ConnectLimits limits;
  limits.stagger_ms = 400;
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId, limits);
  DWORD elapsed;
  ASSERT_EQ(Dial(dialer, {kLoop6, kLoop4}, server.port(), elapsed), Result::Connected);
  EXPECT_EQ(dialer.address(), kLoop4);
  EXPECT_GE(elapsed, 380u);
  EXPECT_LT(elapsed, 2000u);
}

TEST_F(DialerTest, FailuresTellTheLastErrorOrTheTimeOut) {
  unsigned short port;
  {
    LoopbackListener gone(kLoop4);
    port = gone.port();
  }
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId);
  DWORD elapsed;
  EXPECT_EQ(Dial(dialer, {kLoop6, kLoop4}, port, elapsed), Result::Failed);
  EXPECT_EQ(dialer.error(), WSAECONNREFUSED);
  EXPECT_FALSE(dialer.timed_out());
  EXPECT_EQ(dialer.failure(), SocketDialer::Failure::Later) << "refused by the peer";
  EXPECT_LT(elapsed, 1000u);

  EXPECT_EQ(Dial(dialer, {}, port, elapsed), Result::Failed) << "no address at all";

  SilentListener silent(kLoop6);
  ASSERT_TRUE(silent.ok());
  ConnectLimits limits;
  limits.final_wait_ms = 500;
  SocketDialer patient(window.hwnd(), kSelectMessage, kTimerId, limits);
  EXPECT_EQ(Dial(patient, {kLoop6}, silent.port(), elapsed), Result::Failed);
  EXPECT_TRUE(patient.timed_out());
  EXPECT_EQ(patient.failure(), SocketDialer::Failure::Later);
  EXPECT_GE(elapsed, 480u);
  EXPECT_LT(elapsed, 2000u);
}

// Whether anything went out decides how a failed connection is reported: a
// connect this machine refuses at once (a multicast address: no route) never
// left it.
TEST_F(DialerTest, FailuresOnTheSpotAreToldApart) {
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId);
  DWORD elapsed;
  EXPECT_EQ(Dial(dialer, {Ipv4(224, 0, 0, 1)}, 110, elapsed), Result::Failed);
  EXPECT_EQ(dialer.failure(), SocketDialer::Failure::OnTheSpot);
  EXPECT_EQ(dialer.error(), WSAENETUNREACH);
  LoopbackListener server(kLoop4);
  ASSERT_TRUE(server.ok());
  // One that goes out and connects after one refused on the spot.
  EXPECT_EQ(Dial(dialer, {Ipv4(224, 0, 0, 1), kLoop4}, server.port(), elapsed),
            Result::Connected);
}

TEST_F(DialerTest, CancelClosesTheAttemptsAndIgnoresWhatFollows) {
  SilentListener silent(kLoop6);
  ASSERT_TRUE(silent.ok());
  ConnectLimits limits;
  limits.stagger_ms = limits.final_wait_ms = 100;
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId, limits);
  ASSERT_EQ(dialer.Begin({kLoop6}, silent.port()), Result::Connecting);
  dialer.Cancel();
  Sleep(200);
  MSG msg;
  while (PeekMessageW(&msg, window.hwnd(), 0, 0, PM_REMOVE)) {
    EXPECT_NE(msg.message == WM_TIMER && msg.wParam == kTimerId, true) << "the timer is stopped";
    if (msg.message == kSelectMessage) {
      EXPECT_EQ(dialer.OnSocketEvent(msg.wParam, msg.lParam), Result::NotMine);
    }
  }
  EXPECT_EQ(dialer.OnTimer(), Result::NotMine);
}

bool InPrivateResolver() { return std::getenv("ZEPHO_PRIVATE_RESOLVER") != nullptr; }

// Looks `name` up and dials its addresses, as a check does.
struct ResolverDial : DialerTest {
  std::vector<IpAddress> LookUp(const char* name) {
    AddressLookup lookup(window.hwnd(), kLookupMessage);
    std::optional<LookupOutcome> got;
    if (!lookup.Start(name)) return {};
    const DWORD start = GetTickCount();
    while (!got && GetTickCount() - start < 5000) {
      MSG msg;
      while (!got && PeekMessageW(&msg, window.hwnd(), kLookupMessage, kLookupMessage, PM_REMOVE))
        got = lookup.Take(msg.wParam);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return got ? got->addresses : std::vector<IpAddress>{};
  }
};

TEST_F(ResolverDial, ResolverNameOfIpv6AndIpv4ReachesAServerOnIpv4AtOnce) {
  if (!InPrivateResolver()) GTEST_SKIP() << "runs under tests/fixtures/private_resolver.sh";
  LoopbackListener server(kLoop4);
  ASSERT_TRUE(server.ok());
  const std::vector<IpAddress> addresses = LookUp("dual.zepho.test");
  ASSERT_EQ(addresses, (std::vector<IpAddress>{kLoop6, kLoop4})) << "::1 comes first";
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId);
  DWORD elapsed;
  ASSERT_EQ(Dial(dialer, addresses, server.port(), elapsed), Result::Connected);
  EXPECT_EQ(dialer.address(), kLoop4);
  EXPECT_LT(elapsed, 1000u);
}

TEST_F(ResolverDial, ResolverNameOfIpv6OnlyReachesAServerOnIpv6) {
  if (!InPrivateResolver()) GTEST_SKIP() << "runs under tests/fixtures/private_resolver.sh";
  LoopbackListener server(kLoop6);
  ASSERT_TRUE(server.ok());
  const std::vector<IpAddress> addresses = LookUp("v6only.zepho.test");
  ASSERT_EQ(addresses, std::vector<IpAddress>{kLoop6});
  SocketDialer dialer(window.hwnd(), kSelectMessage, kTimerId);
  DWORD elapsed;
  ASSERT_EQ(Dial(dialer, addresses, server.port(), elapsed), Result::Connected);
  EXPECT_EQ(dialer.address(), kLoop6);
}

}  // namespace
}  // namespace zepho

// The socket transport against a real loopback listener: notifications come as
// window messages to a window, as the program's dispatcher receives them.
#include "pop3/socket_transport_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "select_window.h"

namespace zepho {
namespace {

constexpr UINT kSocketMessage = WM_USER + 8;
constexpr UINT kLookupMessage = WM_USER + 9;
constexpr UINT_PTR kAttemptsTimer = 4;
using G = std::array<std::uint16_t, 8>;
const IpAddress kLoop6 = Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1});
const IpAddress kLoop4 = Ipv4(127, 0, 0, 1);

struct Notification {
  SOCKET socket;
  int event;
  int error;
};

// A message-only window that keeps the last select notification.
class NotifyWindow {
 public:
  NotifyWindow() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ZEPHOTransportTest";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                          wc.hInstance, nullptr);
  }
  ~NotifyWindow() { DestroyWindow(hwnd_); }
  HWND hwnd() const { return hwnd_; }

  // Waits for the next socket message with the given event (or any error).
  bool WaitFor(int event, Notification& got, DWORD ms = 5000) {
    MSG msg;
    return WaitFor(event, got, msg, ms);
  }
  bool WaitFor(int event, Notification& got, MSG& msg, DWORD ms = 5000) {
    const DWORD until = GetTickCount() + ms;
    while (static_cast<LONG>(until - GetTickCount()) > 0) {
      while (PeekMessageW(&msg, hwnd_, 0, 0, PM_REMOVE)) {
        if (msg.message != kSocketMessage) continue;
        got = {static_cast<SOCKET>(msg.wParam), WSAGETSELECTEVENT(msg.lParam),
               WSAGETSELECTERROR(msg.lParam)};
        if (got.event == event || got.error != 0) return true;
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
  }

 private:
  HWND hwnd_;
};

class Listener {
 public:
  Listener() {
    s_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr("127.0.0.1");
    bind(s_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(s_, 1);
    int len = sizeof a;
    getsockname(s_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() { closesocket(s_); }
  int port() const { return port_; }
  SOCKET Accept() { return accept(s_, nullptr, nullptr); }

 private:
  SOCKET s_;
  int port_ = 0;
};

// What the check cycle hears of the connection, as one text.
struct RecordedEvents : ConnectionEvents {
  std::string trace;
  std::optional<OpenFailure> failure;
  void OnConnected() override { trace += "[connected]"; }
  void OnOpenFailed(const OpenFailure& f) override {
    trace += "[open failed]";
    failure = f;
  }
  void OnReceived(std::string_view bytes) override { trace += std::string(bytes); }
  void OnSocketError() override { trace += "[error]"; }
  void OnClosed() override { trace += "[closed]"; }
};

struct TransportTest : ::testing::Test {
  void SetUp() override { ASSERT_EQ(StartupSockets(), 0); }
  void TearDown() override { CleanupSockets(); }

  TransportWindow Notify() {
    return {window.hwnd(), kSocketMessage, kLookupMessage, kAttemptsTimer};
  }
  // Hands every message of the transport to it, as the application window
  // does, until `done` holds or the time is up; true when it held.
  template <typename Done>
  bool Dispatch(SocketTransport& t, Done done, DWORD ms = 5000) {
    const DWORD until = GetTickCount() + ms;
    MSG msg;
    while (!done()) {
      if (static_cast<LONG>(until - GetTickCount()) <= 0) return false;
      while (!done() && PeekMessageW(&msg, window.hwnd(), 0, 0, PM_REMOVE)) {
        if (msg.message == kSocketMessage)
          t.OnSocketEvent(msg.wParam, msg.lParam, events);
        else if (msg.message == kLookupMessage)
          t.OnLookupMessage(msg.wParam, events);
        else if (msg.message == WM_TIMER)
          t.OnTimer(msg.wParam, events);
      }
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
  }
  bool Seen(const char* what) const { return events.trace.find(what) != std::string::npos; }
  bool Connected(SocketTransport& t) {
    return Dispatch(t, [&] { return Seen("[connected]") || Seen("[open failed]"); }) &&
           Seen("[connected]");
  }

  NotifyWindow window;
  RecordedEvents events;
};

TEST_F(TransportTest, ConnectsSendsReceivesAndClosesTwiceHarmlessly) {
  Listener server;
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("127.0.0.1", server.port())) << "under way";
  EXPECT_TRUE(t.opening());
  SOCKET peer = server.Accept();
  ASSERT_TRUE(Connected(t));
  EXPECT_FALSE(t.opening());
  const SOCKET mine = t.SocketHandle();
  ASSERT_NE(mine, INVALID_SOCKET);

  t.Send("USER user\r\n");
  char buf[64] = {};
  EXPECT_EQ(recv(peer, buf, sizeof buf, 0), 11);
  EXPECT_STREQ(buf, "USER user\r\n");

  // One receive takes at most 29,999 bytes; the rest comes with the next.
  const std::string big(40000, 'x');
  send(peer, big.data(), static_cast<int>(big.size()), 0);
  Notification n{};
  ASSERT_TRUE(window.WaitFor(FD_READ, n));
  std::string got, chunk;
  while (got.size() < big.size()) {
    ASSERT_TRUE(ReceiveChunk(mine, chunk));
    EXPECT_LE(chunk.size(), 29999u);
    if (chunk.empty()) Sleep(10);
    got += chunk;
  }
  EXPECT_EQ(got, big);

  t.Close();
  EXPECT_EQ(t.SocketHandle(), INVALID_SOCKET);
  t.Close();  // harmless
  t.Drop();
  EXPECT_EQ(recv(peer, buf, sizeof buf, 0), 0) << "the peer sees an orderly close";
  closesocket(peer);
}

TEST_F(TransportTest, RefusedConnectionFailsTheOpenAfterItWentOut) {
  int port;
  {
    Listener gone;
    port = gone.port();
  }
  SocketTransport t(Notify());
  // Non-blocking: the attempt is under way, the refusal comes as an event.
  ASSERT_FALSE(t.Open("127.0.0.1", port));
  ASSERT_TRUE(Dispatch(t, [&] { return !events.trace.empty(); }));
  EXPECT_EQ(events.trace, "[open failed]");
  EXPECT_EQ(events.failure->kind, OpenFailure::Kind::Unreachable);
  EXPECT_EQ(events.failure->error, WSAECONNREFUSED);
  EXPECT_FALSE(events.failure->resolved) << "an address is not looked up";
  EXPECT_FALSE(t.opening());
}

TEST_F(TransportTest, PortUsesItsLow16Bits) {
  Listener server;
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("127.0.0.1", server.port() + 65536));
  SOCKET peer = server.Accept();
  EXPECT_NE(peer, INVALID_SOCKET);
  closesocket(peer);
}

// What the user typed: IPv6 with or without brackets, IPv4, a name; and texts
// that name no server, or an address this machine cannot even try.
TEST_F(TransportTest, AnyAddressFormReachesItsServer) {
  test::LoopbackListener v6(kLoop6);
  ASSERT_TRUE(v6.ok());
  test::LoopbackListener v4(kLoop4);
  ASSERT_TRUE(v4.ok());
  const struct {
    const char* typed;
    unsigned short port;
  } cases[] = {{"::1", v6.port()}, {"[::1]", v6.port()}, {" [0:0::1] ", v6.port()},
               {"127.0.0.1", v4.port()}, {"0x7f.1", v4.port()}, {"localhost", v4.port()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    events = {};
    SocketTransport t(Notify());
    ASSERT_FALSE(t.Open(c.typed, c.port));
    EXPECT_TRUE(Connected(t)) << events.trace;
  }
  for (const char* typed : {"", "   ", "[::1", "pop example", "a/b", "1.2.3.4:110"}) {
    SocketTransport t(Notify());
    const std::optional<OpenFailure> failed = t.Open(typed, 110);
    ASSERT_TRUE(failed) << typed;
    EXPECT_EQ(failed->kind, OpenFailure::Kind::NoAddress) << typed;
    EXPECT_EQ(failed->lookup, LookupOutcome::Status::NotStarted) << typed;
  }
  // No route to a multicast address: the connect fails before anything goes out.
  SocketTransport t(Notify());
  const std::optional<OpenFailure> failed = t.Open("224.0.0.1", 110);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->kind, OpenFailure::Kind::ConnectFailed);
  EXPECT_EQ(failed->error, WSAENETUNREACH);
}

// A name found that leads nowhere: the failure says the name resolved.
TEST_F(TransportTest, ANameThatResolvedButWasRefused) {
  int port;
  {
    Listener gone;
    port = gone.port();
  }
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("localhost", port));
  ASSERT_TRUE(Dispatch(t, [&] { return !events.trace.empty(); }));
  EXPECT_EQ(events.trace, "[open failed]");
  EXPECT_EQ(events.failure->kind, OpenFailure::Kind::Unreachable);
  EXPECT_TRUE(events.failure->resolved);
}

// A check that ends while its name is looked up or its connects are under way
// hears nothing more of them.
TEST_F(TransportTest, AnOpenLetGoTellsNothing) {
  test::LoopbackListener server(kLoop4);
  ASSERT_TRUE(server.ok());
  for (const char* typed : {"localhost", "127.0.0.1"}) {
    SocketTransport t(Notify());
    ASSERT_FALSE(t.Open(typed, server.port()));
    t.Close();
    EXPECT_FALSE(t.opening());
    EXPECT_FALSE(Dispatch(t, [&] { return !events.trace.empty(); }, 500)) << typed;
    EXPECT_EQ(events.trace, "");
  }
  // A new open after one let go gets its own outcome only.
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("localhost", server.port()));
  ASSERT_FALSE(t.Open("127.0.0.1", server.port()));
  EXPECT_TRUE(Connected(t));
  EXPECT_EQ(events.trace, "[connected]");
}

// The server's close comes after what it sent: the bytes first, then the close.
TEST_F(TransportTest, AServersCloseComesAfterItsBytes) {
  Listener server;
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("127.0.0.1", server.port()));
  SOCKET peer = server.Accept();
  ASSERT_TRUE(Connected(t));
  const std::string reply = "+OK\r\nFrom: a\r\n" + std::string(70000, 'x');
  send(peer, reply.data(), static_cast<int>(reply.size()), 0);
  shutdown(peer, SD_SEND);
  closesocket(peer);
  Dispatch(t, [&] { return Seen("[closed]"); });
  EXPECT_EQ(events.trace, "[connected]" + reply + "[closed]");
}

// A reset ends the check without waiting.
TEST_F(TransportTest, AResetIsAnError) {
  Listener server;
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("127.0.0.1", server.port()));
  SOCKET peer = server.Accept();
  ASSERT_TRUE(Connected(t));
  const linger abortive{1, 0};
  setsockopt(peer, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive),
             sizeof abortive);
  closesocket(peer);
  Dispatch(t, [&] { return events.trace.size() > 11; });
  // Windows reports a reset as FD_CLOSE with WSAECONNRESET (an error), Wine 8
  // as a plain FD_CLOSE: either way the check ends now, once.
  EXPECT_TRUE(events.trace == "[connected][error]" || events.trace == "[connected][closed]")
      << events.trace;
}

TEST_F(TransportTest, EventMessagesReachTheEventsOfTheCurrentSocketOnly) {
  Listener server;
  SocketTransport t(Notify());
  ASSERT_FALSE(t.Open("127.0.0.1", server.port()));
  SOCKET peer = server.Accept();
  ASSERT_TRUE(Connected(t));
  send(peer, "+OK hi\r\n", 8, 0);
  Notification n{};
  MSG msg;
  ASSERT_TRUE(window.WaitFor(FD_READ, n, msg));
  EXPECT_TRUE(t.OnSocketEvent(msg.wParam, msg.lParam, events));
  EXPECT_FALSE(t.OnSocketEvent(msg.wParam + 1, msg.lParam, events)) << "another socket";
  EXPECT_FALSE(t.OnTimer(kAttemptsTimer + 1, events)) << "another timer";
  EXPECT_EQ(events.trace, "[connected]+OK hi\r\n");
  closesocket(peer);
}

bool InPrivateResolver() { return std::getenv("ZEPHO_PRIVATE_RESOLVER") != nullptr; }

#define NEEDS_PRIVATE_RESOLVER() \
  if (!InPrivateResolver()) GTEST_SKIP() << "runs under tests/fixtures/private_resolver.sh"

// Names of the private hosts file and of the stand-in name server.
TEST_F(TransportTest, ResolverNamesReachTheirServersOrTellWhy) {
  NEEDS_PRIVATE_RESOLVER();
  test::LoopbackListener v4(kLoop4);
  ASSERT_TRUE(v4.ok());
  {
    // ::1 first, and nothing there: 127.0.0.1 at once.
    SocketTransport t(Notify());
    const DWORD start = GetTickCount();
    ASSERT_FALSE(t.Open("dual.zepho.test", v4.port()));
    EXPECT_TRUE(Connected(t)) << events.trace;
    EXPECT_LT(GetTickCount() - start, 1500u);
  }
  using S = LookupOutcome::Status;
  const struct {
    const char* name;
    S status;
  } cases[] = {{"nosuch.zepho.test", S::NoSuchName}, {"servfail.zepho.test", S::NoAnswer},
               {"x.hang.zepho.test", S::TimedOut}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    events = {};
    SocketTransport t(Notify(), {}, 1000);
    ASSERT_FALSE(t.Open(c.name, v4.port()));
    ASSERT_TRUE(Dispatch(t, [&] { return !events.trace.empty(); }, 8000));
    EXPECT_EQ(events.trace, "[open failed]");
    EXPECT_EQ(events.failure->kind, OpenFailure::Kind::NoAddress);
    EXPECT_EQ(events.failure->lookup, c.status);
    EXPECT_FALSE(events.failure->resolved);
  }
}

}  // namespace
}  // namespace zepho

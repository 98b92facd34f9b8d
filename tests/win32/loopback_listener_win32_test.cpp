// The loopback listener with real sockets: a browser's stray requests and
// spare connections, the redirect with the right state, the bounded wait.
#include "oauth/loopback_listener_win32.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace zepho {
namespace {

class LoopbackListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA d;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &d), 0);
  }
  void TearDown() override { WSACleanup(); }
};

SOCKET ConnectTo(std::uint16_t port) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

// Sends a request and reads the answer to its end.
std::string Ask(std::uint16_t port, const std::string& request) {
  SOCKET s = ConnectTo(port);
  if (s == INVALID_SOCKET) return "<no connection>";
  send(s, request.data(), static_cast<int>(request.size()), 0);
  std::string answer;
  char buf[4096];
  int n;
  while ((n = recv(s, buf, sizeof buf, 0)) > 0) answer.append(buf, static_cast<std::size_t>(n));
  closesocket(s);
  return answer;
}

std::string Get(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

TEST_F(LoopbackListenerTest, TakesOnlyTheRequestWithItsState) {
  LoopbackListener listener;
  std::string error;
  ASSERT_TRUE(listener.Open(error)) << error;
  ASSERT_NE(listener.port(), 0);
  std::atomic<int> done{0};
  listener.Start("the-state", 20000, [&] { ++done; });

  // A spare connection that never sends anything must not hold the others up.
  SOCKET idle = ConnectTo(listener.port());
  ASSERT_NE(idle, INVALID_SOCKET);
  EXPECT_EQ(Ask(listener.port(), Get("/favicon.ico")).substr(0, 12), "HTTP/1.1 404");
  EXPECT_EQ(Ask(listener.port(), Get("/?code=forged&state=other")).substr(0, 12), "HTTP/1.1 404");
  EXPECT_EQ(Ask(listener.port(), "POST / HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  EXPECT_EQ(done, 0) << "still waiting";

  const std::string page = Ask(listener.port(), Get("/?code=the-code&state=the-state"));
  EXPECT_EQ(page.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(page.find("このタブは閉じてかまいません"), std::string::npos);
  const ListenerResult r = listener.Finish();
  EXPECT_EQ(r.kind, ListenerResult::Kind::Code);
  EXPECT_EQ(r.code, "the-code");
  EXPECT_EQ(done, 1);
  closesocket(idle);
  // One redirect, then the port is closed.
  EXPECT_EQ(ConnectTo(listener.port()), INVALID_SOCKET);
}

TEST_F(LoopbackListenerTest, ProviderErrorWithItsStateEndsTheWait) {
  LoopbackListener listener;
  std::string error;
  ASSERT_TRUE(listener.Open(error)) << error;
  listener.Start("s", 20000, nullptr);
  const std::string page =
      Ask(listener.port(), Get("/?error=access_denied&error_description=denied+by+user&state=s"));
  EXPECT_NE(page.find("できませんでした"), std::string::npos);
  const ListenerResult r = listener.Finish();
  EXPECT_EQ(r.kind, ListenerResult::Kind::Error);
  EXPECT_EQ(r.error, "access_denied");
  EXPECT_EQ(r.error_description, "denied by user");
  EXPECT_TRUE(r.code.empty());
}

TEST_F(LoopbackListenerTest, WaitIsBoundedAndCancellable) {
  {
    LoopbackListener listener;
    std::string error;
    ASSERT_TRUE(listener.Open(error)) << error;
    const DWORD start = GetTickCount();
    listener.Start("s", 300, nullptr);
    EXPECT_EQ(listener.Finish().kind, ListenerResult::Kind::TimedOut);
    EXPECT_LT(GetTickCount() - start, 5000u);
  }
  {
    LoopbackListener listener;
    std::string error;
    ASSERT_TRUE(listener.Open(error)) << error;
    std::atomic<bool> done{false};
    listener.Start("s", kSignInTimeoutMs, [&] { done = true; });
    Sleep(50);
    const DWORD start = GetTickCount();
    listener.Cancel();
    EXPECT_EQ(listener.Finish().kind, ListenerResult::Kind::Cancelled);
    EXPECT_TRUE(done);
    EXPECT_LT(GetTickCount() - start, 5000u);
  }
  // Destroyed while waiting: the worker ends with it.
  LoopbackListener listener;
  std::string error;
  ASSERT_TRUE(listener.Open(error)) << error;
  listener.Start("s", kSignInTimeoutMs, nullptr);
}

TEST_F(LoopbackListenerTest, EachSignInGetsItsOwnPort) {
  LoopbackListener a, b;
  std::string error;
  ASSERT_TRUE(a.Open(error)) << error;
  ASSERT_TRUE(b.Open(error)) << error;
  EXPECT_NE(a.port(), b.port());
}

}  // namespace
}  // namespace zepho

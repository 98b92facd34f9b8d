// The token endpoint call with real sockets against a small server of the
// test's own on loopback: answers, a server that never answers, the URLs that
// are refused before anything is sent. HTTPS against a real TLS server (and
// its certificate check) is in tests/e2e/test_oauth_signin.py.
#include "oauth/token_endpoint_win32.h"

#include <winsock2.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace zepho {
namespace {

// Accepts one connection, reads the request (head and Content-Length body),
// answers with `reply` (unless empty: then it keeps silent until told to end).
// With `at_once` it answers whatever it got first.
class OneShotServer {
 public:
  explicit OneShotServer(std::string reply, bool at_once = false)
      : reply_(std::move(reply)), at_once_(at_once) {
    WSADATA d;
    WSAStartup(MAKEWORD(2, 2), &d);
    listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof a;
    bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listen_, 1);
    getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~OneShotServer() {
    stop_ = true;
    closesocket(listen_);
    thread_.join();
    WSACleanup();
  }
  std::string url(const std::string& path = "/token") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::uint16_t port() const { return port_; }
  std::string request() {
    thread_.join();
    thread_ = std::thread([] {});
    return request_;
  }

 private:
  void Serve() {
    SOCKET s = accept(listen_, nullptr, nullptr);
    if (s == INVALID_SOCKET) return;
    char buf[4096];
    int n;
    while ((n = recv(s, buf, sizeof buf, 0)) > 0) {
      request_.append(buf, static_cast<std::size_t>(n));
      if (at_once_) break;
      const std::size_t head = request_.find("\r\n\r\n");
      if (head == std::string::npos) continue;
      const std::size_t at = request_.find("Content-Length: ");
      const std::size_t length = at == std::string::npos ? 0 : std::stoul(request_.substr(at + 16));
      if (request_.size() >= head + 4 + length) break;
    }
    if (reply_.empty()) {
      while (!stop_) Sleep(20);
    } else {
      send(s, reply_.data(), static_cast<int>(reply_.size()), 0);
    }
    closesocket(s);
  }

  std::string reply_;
  bool at_once_;
  SOCKET listen_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::string request_;
  std::thread thread_;
};

using Kind = TokenEndpointResult::Kind;

TEST(TokenEndpoint, PostsTheFormAndReadsAChunkedAnswer) {
  OneShotServer server(
      "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n"
      "10\r\n{\"access_token\":\r\n8\r\n\"a\",\"b\":\r\n3\r\n\"c\"\r\n1\r\n}\r\n0\r\n\r\n");
  const TokenEndpointResult r =
      PostTokenRequest(server.url(), "grant_type=refresh_token&refresh_token=r1&client_id=c", 5000, nullptr);
  ASSERT_EQ(r.kind, Kind::Answered) << r.detail;
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "{\"access_token\":\"a\",\"b\":\"c\"}");
  const std::string request = server.request();
  EXPECT_EQ(request.substr(0, 22), "POST /token HTTP/1.1\r\n");
  EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\n\r\ngrant_type=refresh_token&refresh_token=r1&client_id=c"), std::string::npos);
}

TEST(TokenEndpoint, ErrorAnswersComeBackAsAnswers) {
  OneShotServer server(
      "HTTP/1.1 400 Bad Request\r\nContent-Length: 27\r\nConnection: close\r\n\r\n{\"error\":\"invalid_grant\"}\r\n");
  const TokenEndpointResult r = PostTokenRequest(server.url(), "x=1", 5000, nullptr);
  ASSERT_EQ(r.kind, Kind::Answered) << r.detail;
  EXPECT_EQ(r.status, 400);
  EXPECT_EQ(r.body, "{\"error\":\"invalid_grant\"}\r\n");
}

TEST(TokenEndpoint, SilentServerTimesOutAndCancelEndsTheWait) {
  {
    OneShotServer server("");
    const DWORD start = GetTickCount();
    const TokenEndpointResult r = PostTokenRequest(server.url(), "x=1", 400, nullptr);
    EXPECT_EQ(r.kind, Kind::TimedOut);
    EXPECT_LT(GetTickCount() - start, 5000u);
  }
  OneShotServer server("");
  TokenEndpointCall call;
  std::atomic<bool> done{false};
  call.Start(server.url(), "x=1", kTokenRequestTimeoutMs, [&] { done = true; });
  Sleep(100);
  const DWORD start = GetTickCount();
  call.Cancel();
  EXPECT_EQ(call.Finish().kind, Kind::Cancelled);
  EXPECT_TRUE(done);
  EXPECT_LT(GetTickCount() - start, 5000u);
}

TEST(TokenEndpoint, RefusedUrlsSendNothing) {
  for (const char* url : {"http://oauth2.googleapis.com/token", "http://10.0.0.1/token",
                          "ftp://127.0.0.1/token", "token", "https://user@idp.example/token"}) {
    const TokenEndpointResult r = PostTokenRequest(url, "refresh_token=SECRET", 2000, nullptr);
    EXPECT_EQ(r.kind, Kind::Refused) << url;
    EXPECT_EQ(r.detail.find("SECRET"), std::string::npos);
  }
}

TEST(TokenEndpoint, NetworkFailures) {
  // Nobody listens on the port of a server that is gone.
  std::uint16_t port;
  {
    OneShotServer gone("HTTP/1.1 200 OK\r\n\r\n");
    port = gone.port();
    PostTokenRequest(gone.url(), "", 2000, nullptr);
  }
  TokenEndpointResult r =
      PostTokenRequest("http://127.0.0.1:" + std::to_string(port) + "/token", "code=SECRET", 3000, nullptr);
  EXPECT_EQ(r.kind, Kind::Failed);
  EXPECT_EQ(r.detail.find("SECRET"), std::string::npos);

  // HTTPS to a server that speaks plain HTTP: the handshake fails.
  OneShotServer plain("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", true);
  r = PostTokenRequest("https://127.0.0.1:" + std::to_string(plain.port()) + "/token", "code=SECRET",
                       5000, nullptr);
  EXPECT_EQ(r.kind, Kind::Failed);
  EXPECT_FALSE(r.detail.empty());
  EXPECT_EQ(r.detail.find("SECRET"), std::string::npos);

  // An answer cut short.
  OneShotServer cut("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n{\"access");
  r = PostTokenRequest(cut.url(), "x", 5000, nullptr);
  EXPECT_EQ(r.kind, Kind::Failed);
  EXPECT_TRUE(r.body.empty());
}

}  // namespace
}  // namespace zepho

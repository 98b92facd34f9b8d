#include "oauth/loopback_listener_win32.h"

#include <ws2tcpip.h>

#include <memory>
#include <vector>

#include "oauth/redirect_request.h"

namespace zepho {

namespace {

// Connections served at once: a browser opens a few in parallel.
constexpr std::size_t kMaxConnections = 8;
// A connection that sends no complete request in this time is dropped.
constexpr unsigned long kConnectionIdleMs = 10 * 1000;
// How often the wait looks at the cancel flag.
constexpr long kPollMs = 100;

struct Connection {
  SOCKET socket;
  unsigned long since;
  RedirectRequestParser parser;
};

void SendAll(SOCKET s, const std::string& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const int n = send(s, bytes.data() + at, static_cast<int>(bytes.size() - at), 0);
    if (n <= 0) return;
    at += static_cast<std::size_t>(n);
  }
}

void CloseConnection(SOCKET s) {
  shutdown(s, SD_SEND);
  closesocket(s);
}

}  // namespace

LoopbackListener::~LoopbackListener() {
  Cancel();
  if (worker_.joinable()) worker_.join();
  if (listen_ != INVALID_SOCKET) closesocket(listen_);
  if (winsock_) WSACleanup();
}

bool LoopbackListener::Open(std::string& error) {
  WSADATA data;
  if (!winsock_) {
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
      error = "WSAStartup failed";
      return false;
    }
    winsock_ = true;
  }
  listen_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listen_ == INVALID_SOCKET) {
    error = "socket " + std::to_string(WSAGetLastError());
    return false;
  }
  // No other program may take the port over while we listen.
  BOOL exclusive = TRUE;
  setsockopt(listen_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  int length = sizeof a;
  if (bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_, 8) != 0 ||
      getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    error = "bind/listen " + std::to_string(WSAGetLastError());
    closesocket(listen_);
    listen_ = INVALID_SOCKET;
    return false;
  }
  port_ = ntohs(a.sin_port);
  return true;
}

void LoopbackListener::Start(std::string state, unsigned long timeout_ms, std::function<void()> done) {
  done_ = std::move(done);
  cancel_ = false;
  worker_ = std::thread([this, state = std::move(state), timeout_ms]() mutable {
    Run(std::move(state), timeout_ms);
    if (done_) done_();
  });
}

ListenerResult LoopbackListener::Finish() {
  if (worker_.joinable()) worker_.join();
  return result_;
}

void LoopbackListener::Run(std::string state, unsigned long timeout_ms) {
  if (listen_ == INVALID_SOCKET) {
    result_.kind = ListenerResult::Kind::Failed;
    result_.detail = "not listening";
    return;
  }
  const unsigned long start = GetTickCount();
  std::vector<std::unique_ptr<Connection>> connections;
  auto drop = [&](std::size_t i) {
    closesocket(connections[i]->socket);
    connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
  };
  for (;;) {
    if (cancel_) {
      result_.kind = ListenerResult::Kind::Cancelled;
      break;
    }
    const unsigned long now = GetTickCount();
    if (now - start >= timeout_ms) {
      result_.kind = ListenerResult::Kind::TimedOut;
      break;
    }
    for (std::size_t i = connections.size(); i-- > 0;)
      if (now - connections[i]->since >= kConnectionIdleMs) drop(i);

    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(listen_, &readable);
    for (const auto& c : connections) FD_SET(c->socket, &readable);
    timeval wait{0, kPollMs * 1000};
    const int ready = select(0, &readable, nullptr, nullptr, &wait);
    if (ready == SOCKET_ERROR) {
      result_.kind = ListenerResult::Kind::Failed;
      result_.detail = "select " + std::to_string(WSAGetLastError());
      break;
    }
    if (ready == 0) continue;

    if (FD_ISSET(listen_, &readable)) {
      SOCKET s = accept(listen_, nullptr, nullptr);
      if (s != INVALID_SOCKET) {
        if (connections.size() == kMaxConnections) drop(0);  // the oldest
        connections.push_back(std::make_unique<Connection>(Connection{s, GetTickCount(),
                                                                      RedirectRequestParser(state)}));
      }
    }
    bool finished = false;
    for (std::size_t i = connections.size(); i-- > 0 && !finished;) {
      Connection& c = *connections[i];
      if (!FD_ISSET(c.socket, &readable)) continue;
      char buf[2048];
      const int n = recv(c.socket, buf, sizeof buf, 0);
      if (n <= 0) {
        drop(i);
        continue;
      }
      const RedirectResult r = c.parser.Feed(std::string_view(buf, static_cast<std::size_t>(n)));
      if (r.kind == RedirectResult::Kind::Incomplete) continue;
      SendAll(c.socket, r.response);
      CloseConnection(c.socket);
      connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
      if (r.kind == RedirectResult::Kind::Code || r.kind == RedirectResult::Kind::Error) {
        result_.kind = r.kind == RedirectResult::Kind::Code ? ListenerResult::Kind::Code
                                                            : ListenerResult::Kind::Error;
        result_.code = r.code;
        result_.error = r.error;
        result_.error_description = r.error_description;
        finished = true;
      }
    }
    if (finished) break;
  }
  for (const auto& c : connections) closesocket(c->socket);
  // One sign-in, one redirect: the port closes with it.
  closesocket(listen_);
  listen_ = INVALID_SOCKET;
}

}  // namespace zepho

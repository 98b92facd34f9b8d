#include "oauth/token_endpoint_win32.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <optional>

#include "oauth/http_message.h"
#include "oauth/token_request.h"
#include "net/server_address.h"
#include "net/tls_client.h"
#include "net/tls_schannel_win32.h"

namespace zepho {

namespace {

using Kind = TokenEndpointResult::Kind;

constexpr long kPollMs = 100;

class Deadline {
 public:
  Deadline(unsigned long ms, const std::atomic<bool>* cancel)
      : start_(GetTickCount()), ms_(ms), cancel_(cancel) {}
  bool cancelled() const { return cancel_ && *cancel_; }
  bool passed() const { return GetTickCount() - start_ >= ms_; }
  // The next wait: at most a poll interval, never past the deadline.
  timeval Slice() const {
    const unsigned long spent = GetTickCount() - start_;
    const unsigned long left = spent >= ms_ ? 0 : ms_ - spent;
    const long ms = left < static_cast<unsigned long>(kPollMs) ? static_cast<long>(left) : kPollMs;
    return timeval{0, ms * 1000};
  }

 private:
  unsigned long start_, ms_;
  const std::atomic<bool>* cancel_;
};

struct Socket {
  SOCKET s = INVALID_SOCKET;
  ~Socket() {
    if (s != INVALID_SOCKET) closesocket(s);
  }
};

struct Winsock {
  bool ok;
  Winsock() {
    WSADATA data;
    ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~Winsock() {
    if (ok) WSACleanup();
  }
};

TokenEndpointResult Fail(Kind kind, std::string detail) {
  TokenEndpointResult r;
  r.kind = kind;
  r.detail = std::move(detail);
  return r;
}

// Why a wait ended early, or nothing when it may go on.
std::optional<TokenEndpointResult> Over(const Deadline& d) {
  if (d.cancelled()) return Fail(Kind::Cancelled, "cancelled");
  if (d.passed()) return Fail(Kind::TimedOut, "no answer in time");
  return std::nullopt;
}

// Waits until `s` is writable (connect done) or readable.
enum class Ready { Yes, Error, Wait };
Ready WaitFor(SOCKET s, bool write, const Deadline& d) {
  fd_set set, errors;
  FD_ZERO(&set);
  FD_ZERO(&errors);
  FD_SET(s, &set);
  FD_SET(s, &errors);
  timeval t = d.Slice();
  const int n = select(0, write ? nullptr : &set, write ? &set : nullptr, &errors, &t);
  if (n == SOCKET_ERROR || FD_ISSET(s, &errors)) return Ready::Error;
  return n > 0 ? Ready::Yes : Ready::Wait;
}

bool LoopbackAddress(const sockaddr* a) {
  if (a->sa_family == AF_INET)
    return (ntohl(reinterpret_cast<const sockaddr_in*>(a)->sin_addr.s_addr) >> 24) == 127;
  if (a->sa_family == AF_INET6) {
    const auto* b = reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr.s6_addr;
    for (int i = 0; i < 15; ++i)
      if (b[i]) return false;
    return b[15] == 1;
  }
  return false;
}

// A non-blocking connection to the first address that answers.
std::optional<TokenEndpointResult> Connect(const HttpUrl& url, Socket& sock, const Deadline& d) {
  addrinfo hints{}, *list = nullptr;
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  const std::string port = std::to_string(url.port);
  // The look-up itself cannot be bounded; it runs on this worker, not on the window thread.
  if (getaddrinfo(url.host.c_str(), port.c_str(), &hints, &list) != 0 || !list)
    return Fail(Kind::Failed, "cannot resolve " + url.host);
  std::string why = "cannot connect to " + url.host;
  for (addrinfo* a = list; a; a = a->ai_next) {
    // Plain http goes to this machine only, whatever the name resolves to.
    if (!url.https && !LoopbackAddress(a->ai_addr)) {
      why = url.host + " is not a loopback address";
      continue;
    }
    Socket candidate;
    candidate.s = socket(a->ai_family, a->ai_socktype, a->ai_protocol);
    if (candidate.s == INVALID_SOCKET) continue;
    u_long nonblocking = 1;
    ioctlsocket(candidate.s, FIONBIO, &nonblocking);
    if (connect(candidate.s, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0 &&
        WSAGetLastError() != WSAEWOULDBLOCK)
      continue;
    for (;;) {
      if (auto over = Over(d)) {
        freeaddrinfo(list);
        return over;
      }
      const Ready r = WaitFor(candidate.s, true, d);
      if (r == Ready::Wait) continue;
      if (r == Ready::Yes) {
        freeaddrinfo(list);
        sock.s = candidate.s;
        candidate.s = INVALID_SOCKET;
        return std::nullopt;
      }
      break;  // refused: the next address
    }
  }
  freeaddrinfo(list);
  return Fail(Kind::Failed, why);
}

std::optional<TokenEndpointResult> SendAll(SOCKET s, std::string_view bytes, const Deadline& d) {
  while (!bytes.empty()) {
    const int n = send(s, bytes.data(), static_cast<int>(bytes.size()), 0);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Fail(Kind::Failed, "send failed");
    if (auto over = Over(d)) return over;
    if (WaitFor(s, true, d) == Ready::Error) return Fail(Kind::Failed, "send failed");
  }
  return std::nullopt;
}

// One receive: bytes, or empty at the end of the connection.
std::optional<TokenEndpointResult> Receive(SOCKET s, std::string& bytes, bool& closed,
                                           const Deadline& d) {
  bytes.clear();
  closed = false;
  for (;;) {
    if (auto over = Over(d)) return over;
    const Ready r = WaitFor(s, false, d);
    if (r == Ready::Error) return Fail(Kind::Failed, "connection failed");
    if (r == Ready::Wait) continue;
    char buf[16384];
    const int n = recv(s, buf, sizeof buf, 0);
    if (n > 0) {
      bytes.assign(buf, static_cast<std::size_t>(n));
      return std::nullopt;
    }
    if (n == 0) {
      closed = true;
      return std::nullopt;
    }
    if (WSAGetLastError() == WSAEWOULDBLOCK) continue;
    // A reset after the whole answer counts as its end.
    closed = true;
    return std::nullopt;
  }
}

TokenEndpointResult Answer(const HttpResponseParser& p) {
  if (p.status() == HttpResponseParser::Status::Failed)
    return Fail(Kind::Failed, "bad HTTP response: " + p.error());
  TokenEndpointResult r;
  r.kind = Kind::Answered;
  r.status = p.status_code();
  r.body = p.body();
  return r;
}

TokenEndpointResult Exchange(const HttpUrl& url, const std::string& request, const Deadline& d) {
  Socket sock;
  if (auto failed = Connect(url, sock, d)) return *failed;
  HttpResponseParser http;
  std::string bytes;
  bool closed = false;
  if (!url.https) {
    if (auto failed = SendAll(sock.s, request, d)) return *failed;
    while (http.status() == HttpResponseParser::Status::Incomplete) {
      if (auto failed = Receive(sock.s, bytes, closed, d)) return *failed;
      closed ? http.Close() : http.Feed(bytes);
    }
    return Answer(http);
  }
  SchannelTls port;
  TlsClient tls(port);
  TlsClient::Output out = tls.Start(TlsPeerOf(ParseServerAddress(url.host)), std::nullopt);
  bool sent_request = false;
  for (;;) {
    if (out.failure) return Fail(Kind::Failed, TlsFailureLogLine(*out.failure).substr(0, 200));
    if (auto failed = SendAll(sock.s, out.send, d)) return *failed;
    if (out.established && !sent_request) {
      sent_request = true;
      TlsClient::Output enc = tls.Encrypt(request);
      if (enc.failure) return Fail(Kind::Failed, "cannot encrypt");
      if (auto failed = SendAll(sock.s, enc.send, d)) return *failed;
    }
    if (!out.plain.empty()) http.Feed(out.plain);
    if (http.status() != HttpResponseParser::Status::Incomplete) break;
    if (auto failed = Receive(sock.s, bytes, closed, d)) return *failed;
    if (closed) {
      if (!sent_request) return Fail(Kind::Failed, "connection closed in the TLS handshake");
      http.Close();
      break;
    }
    out = tls.OnReceived(bytes);
    if (out.verifying) {
      // This runs on a thread of its own: the check's bounded wait is no one else's.
      if (auto failed = SendAll(sock.s, out.send, d)) return *failed;
      const CertificateVerdict v = port.WaitVerdict();
      out = tls.OnVerdict(v.verdict, v.detail);
    }
  }
  const std::string notify = tls.Close();
  if (!notify.empty()) send(sock.s, notify.data(), static_cast<int>(notify.size()), 0);
  return Answer(http);
}

}  // namespace

TokenEndpointResult PostTokenRequest(const std::string& url, const std::string& body,
                                     unsigned long timeout_ms, const std::atomic<bool>* cancel) {
  const auto parsed = ParseHttpUrl(url);
  if (!parsed) return Fail(Kind::Refused, "not an http(s) URL");
  // A token never goes over plain text, except to this machine (tests).
  if (!parsed->https && !IsLoopbackHost(parsed->host))
    return Fail(Kind::Refused, "plain http to " + parsed->host);
  Winsock winsock;
  if (!winsock.ok) return Fail(Kind::Failed, "WSAStartup failed");
  const Deadline d(timeout_ms, cancel);
  return Exchange(*parsed, HttpPostRequest(*parsed, kFormContentType, body), d);
}

TokenEndpointCall::~TokenEndpointCall() {
  Cancel();
  if (worker_.joinable()) worker_.join();
}

void TokenEndpointCall::Start(std::string url, std::string body, unsigned long timeout_ms,
                              std::function<void()> done) {
  cancel_ = false;
  worker_ = std::thread([this, url = std::move(url), body = std::move(body), timeout_ms,
                         done = std::move(done)]() mutable {
    result_ = PostTokenRequest(url, body, timeout_ms, &cancel_);
    // The form holds a code or a refresh token: not left in freed memory.
    SecureZeroMemory(body.data(), body.size());
    if (done) done();
  });
}

TokenEndpointResult TokenEndpointCall::Finish() {
  if (worker_.joinable()) worker_.join();
  return result_;
}

}  // namespace zepho

// The XOAUTH2 login against any server bytes: it ends or waits, never sends
// the credentials more than once, never grows past its line bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "oauth/xoauth2_login.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = data[0] % 13 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  zepho::Xoauth2Login login;
  login.Begin("user@example.jp", "token");
  const std::string payload = zepho::Xoauth2Payload("user@example.jp", "token") + "\r\n";
  int payloads = 0, sends = 0;
  bool ended = false;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    const auto s = login.OnReceived(bytes.substr(at, piece));
    using Kind = zepho::Xoauth2Login::Step::Kind;
    if (ended && s.kind != Kind::Wait) std::abort();
    if (s.kind == Kind::Send) {
      ++sends;
      if (s.line == payload) ++payloads;
      if (s.log.find("token") != std::string::npos && s.line == payload) std::abort();
    } else if (s.kind != Kind::Wait) {
      ended = true;
    }
  }
  if (payloads > 1 || sends > 2) std::abort();
  return 0;
}

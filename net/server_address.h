// What the user typed as the server (PopAddress): an address to connect to as
// it stands, or a name to look up; and the name its TLS certificate must carry.
#pragma once

#include <string>
#include <string_view>

#include "net/ip_address.h"

namespace zepho {

// The longest host name looked up (RFC 1035: 253 characters without the final dot).
inline constexpr std::size_t kMaxHostNameBytes = 253;

struct ServerAddress {
  enum class Kind {
    Invalid,  // nothing that could name a server: no look-up, no connection
    Literal,  // an IPv4 or IPv6 address: connect to `literal` as it stands
    Name,     // a host name: look `name` up
  };
  Kind kind = Kind::Invalid;
  IpAddress literal;
  std::string name;
  // What the certificate must name: the host name (without a final dot), or the
  // address in its one written form, without zone.
  std::string certificate_name;
  // TLS sends the host name to the server (SNI); never an address (RFC 6066).
  bool send_server_name = false;
};

// Blanks around the text are ignored. IPv4: the classic dotted forms ("127.1",
// "0x7f.0.0.1"); IPv6: with or without brackets, a numeric zone allowed
// ("fe80::1%12"); an IPv4-mapped IPv6 address counts as its IPv4 address. A
// host name is any other text up to kMaxHostNameBytes long without blanks,
// control characters, ":", "%" or "/" (none of them a trail byte of code page
// 932), not starting with "[".
ServerAddress ParseServerAddress(std::string_view typed);

}  // namespace zepho

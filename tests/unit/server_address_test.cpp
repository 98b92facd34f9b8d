#include "net/server_address.h"

#include <gtest/gtest.h>

#include <string>

#include "unit/ip_address_printer.h"

namespace zepho {
namespace {

using Kind = ServerAddress::Kind;
using G = std::array<std::uint16_t, 8>;

struct Case {
  std::string typed;
  Kind kind;
  std::string certificate_name;  // also the looked-up name's certificate name
  IpAddress literal = {};
  std::string name = {};  // what is looked up, for a name
};

TEST(ServerAddress, WhatTheUserTyped) {
  const Case cases[] = {
      // Host names are looked up as typed; the certificate names them without the final dot.
      {"pop.example.jp", Kind::Name, "pop.example.jp", {}, "pop.example.jp"},
      {"POP.Example.JP.", Kind::Name, "POP.Example.JP", {}, "POP.Example.JP."},
      {"  pop.example.jp\t", Kind::Name, "pop.example.jp", {}, "pop.example.jp"},
      {"localhost", Kind::Name, "localhost", {}, "localhost"},
      {"mail-1_x", Kind::Name, "mail-1_x", {}, "mail-1_x"},
      // Dotted forms that are no IPv4 address are names, as before.
      {"127.0.0.256", Kind::Name, "127.0.0.256", {}, "127.0.0.256"},
      {"1.2.3.4.5", Kind::Name, "1.2.3.4.5", {}, "1.2.3.4.5"},
      // A code page 932 byte string may hold "\" or "]" as a trail byte.
      {"\x83\x5c\x83\x5d.example.jp", Kind::Name, "\x83\x5c\x83\x5d.example.jp", {},
       "\x83\x5c\x83\x5d.example.jp"},
      // IPv4 as inet_addr reads it; the certificate names the address in dotted decimal.
      {"127.0.0.1", Kind::Literal, "127.0.0.1", Ipv4(127, 0, 0, 1)},
      {"127.1", Kind::Literal, "127.0.0.1", Ipv4(127, 0, 0, 1)},
      {"0x7f.0.0.1", Kind::Literal, "127.0.0.1", Ipv4(127, 0, 0, 1)},
      {" 192.168.1.10 ", Kind::Literal, "192.168.1.10", Ipv4(192, 168, 1, 10)},
      // IPv6 with or without brackets, in its one written form for the certificate.
      {"::1", Kind::Literal, "::1", Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1})},
      {"[::1]", Kind::Literal, "::1", Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1})},
      {"2001:DB8:0:0::25", Kind::Literal, "2001:db8::25", Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 0x25})},
      {" [2001:db8::25] ", Kind::Literal, "2001:db8::25", Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 0x25})},
      // A zone chooses the interface; the certificate cannot name it.
      {"fe80::1%12", Kind::Literal, "fe80::1", Ipv6(G{0xfe80, 0, 0, 0, 0, 0, 0, 1}, 12)},
      {"[fe80::1%12]", Kind::Literal, "fe80::1", Ipv6(G{0xfe80, 0, 0, 0, 0, 0, 0, 1}, 12)},
      // An IPv4-mapped address is reached over IPv4.
      {"::ffff:127.0.0.1", Kind::Literal, "127.0.0.1", Ipv4(127, 0, 0, 1)},
      {"[::ffff:7f00:1]", Kind::Literal, "127.0.0.1", Ipv4(127, 0, 0, 1)},
      // Nothing a server could be: no look-up.
      {"", Kind::Invalid, ""},
      {"   ", Kind::Invalid, ""},
      {".", Kind::Invalid, ""},
      {"pop example.jp", Kind::Invalid, ""},
      {"pop.example.jp:110", Kind::Invalid, ""},
      {"[::1]:110", Kind::Invalid, ""},
      {"[::1", Kind::Invalid, ""},
      {"[", Kind::Invalid, ""},
      {"[]", Kind::Invalid, ""},
      {"[127.0.0.1]", Kind::Invalid, ""},
      {"[pop.example.jp]", Kind::Invalid, ""},
      {"fe80::1%eth0", Kind::Invalid, ""},
      {"1::2::3", Kind::Invalid, ""},
      {"pop%example", Kind::Invalid, ""},
      {"pop.example.jp/", Kind::Invalid, ""},
      {std::string("pop\0x", 5), Kind::Invalid, ""},
      {"pop\x7f", Kind::Invalid, ""},
      {"pop\x01x", Kind::Invalid, ""},
  };
  for (const Case& c : cases) {
    const ServerAddress a = ParseServerAddress(c.typed);
    SCOPED_TRACE("[" + c.typed + "]");
    EXPECT_EQ(a.kind, c.kind);
    EXPECT_EQ(a.certificate_name, c.certificate_name);
    EXPECT_EQ(a.send_server_name, c.kind == Kind::Name) << "SNI carries names only";
    if (c.kind == Kind::Literal) {
      EXPECT_EQ(a.literal, c.literal);
    }
    if (c.kind == Kind::Name) {
      EXPECT_EQ(a.name, c.name);
    }
  }
}

TEST(ServerAddress, HostNameLengthBound) {
  // 253 characters is the longest name, a final dot aside.
  std::string longest;
  while (longest.size() < kMaxHostNameBytes) longest += longest.empty() ? "a" : ".a";
  ASSERT_EQ(longest.size(), kMaxHostNameBytes);
  EXPECT_EQ(ParseServerAddress(longest).kind, Kind::Name);
  EXPECT_EQ(ParseServerAddress(longest + ".").kind, Kind::Name);
  EXPECT_EQ(ParseServerAddress(longest + ".").certificate_name, longest);
  EXPECT_EQ(ParseServerAddress(longest + "a").kind, Kind::Invalid);
}

}  // namespace
}  // namespace zepho

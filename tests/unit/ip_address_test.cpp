#include "net/ip_address.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "unit/ip_address_printer.h"

namespace zepho {
namespace {

using G = std::array<std::uint16_t, 8>;

struct V4Case {
  const char* text;
  std::optional<IpAddress> want;
};

TEST(IpAddress, Ipv4ClassicForms) {
  const V4Case cases[] = {
      {"127.0.0.1", Ipv4(127, 0, 0, 1)},
      {"127.1", Ipv4(127, 0, 0, 1)},
      {"127.0.1", Ipv4(127, 0, 0, 1)},
      {"0x7f.1", Ipv4(127, 0, 0, 1)},
      {"0X7F.1", Ipv4(127, 0, 0, 1)},
      {"0177.0.0.1", Ipv4(127, 0, 0, 1)},
      {"0x7f000001", Ipv4(127, 0, 0, 1)},
      {"2130706433", Ipv4(127, 0, 0, 1)},
      {"01.02.03.010", Ipv4(1, 2, 3, 8)},
      {"1.0xffffff", Ipv4(1, 255, 255, 255)},
      {"1.2.0xffff", Ipv4(1, 2, 255, 255)},
      {"1.0x0000000000000002", Ipv4(1, 0, 0, 2)},
      {"0", Ipv4(0, 0, 0, 0)},
      {"00", Ipv4(0, 0, 0, 0)},
      {"255.255.255.255", Ipv4(255, 255, 255, 255)},
      {"0xFFFFFFFF", Ipv4(255, 255, 255, 255)},
      {"037777777777", Ipv4(255, 255, 255, 255)},
      // A part too large for the bytes it fills.
      {"127.0.0.256", std::nullopt},
      {"1.16777216", std::nullopt},
      {"1.2.65536", std::nullopt},
      {"1.2.3.0x100", std::nullopt},
      {"256.1", std::nullopt},
      {"4294967296", std::nullopt},
      {"0x100000000", std::nullopt},
      {"040000000000", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      // Not the grammar.
      {"", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"1.2.3.", std::nullopt},
      {"1..2.3", std::nullopt},
      {".1.2.3", std::nullopt},
      {"0x", std::nullopt},
      {"0xg", std::nullopt},
      {"08.1.1.1", std::nullopt},
      {"099", std::nullopt},
      {"-1", std::nullopt},
      {"+1", std::nullopt},
      {"127.0.0.1x", std::nullopt},
      // Blanks are the caller's to trim; what follows them is not ignored.
      {" 127.0.0.1", std::nullopt},
      {"127.0.0.1 ", std::nullopt},
      {"127.0.0.1 x", std::nullopt},
      {"::1", std::nullopt},
  };
  for (const V4Case& c : cases) EXPECT_EQ(ParseIpv4(c.text), c.want) << "[" << c.text << "]";
}

struct V6Case {
  const char* text;
  std::optional<IpAddress> want;
};

TEST(IpAddress, Ipv6TextForms) {
  const V6Case cases[] = {
      {"::1", Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1})},
      {"::", Ipv6(G{})},
      {"1::", Ipv6(G{1, 0, 0, 0, 0, 0, 0, 0})},
      {"2001:db8::1", Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 1})},
      {"2001:DB8:0:0:0:0:0:1", Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 1})},
      {"0001:02:003:0004:5:6:7:8", Ipv6(G{1, 2, 3, 4, 5, 6, 7, 8})},
      {"1:2:3:4:5:6:7::", Ipv6(G{1, 2, 3, 4, 5, 6, 7, 0})},
      {"::2:3:4:5:6:7:8", Ipv6(G{0, 2, 3, 4, 5, 6, 7, 8})},
      {"::ffff:127.0.0.1", Ipv6(G{0, 0, 0, 0, 0, 0xffff, 0x7f00, 1})},
      {"64:ff9b::192.0.2.33", Ipv6(G{0x64, 0xff9b, 0, 0, 0, 0, 0xc000, 0x221})},
      {"1:2:3:4:5:6:1.2.3.4", Ipv6(G{1, 2, 3, 4, 5, 6, 0x102, 0x304})},
      {"fe80::1%12", Ipv6(G{0xfe80, 0, 0, 0, 0, 0, 0, 1}, 12)},
      {"fe80::1%4294967295", Ipv6(G{0xfe80, 0, 0, 0, 0, 0, 0, 1}, 4294967295u)},
      {"", std::nullopt},
      {":", std::nullopt},
      {":::", std::nullopt},
      {"1::2::3", std::nullopt},
      {":1::2", std::nullopt},
      {"1::2:", std::nullopt},
      {"1:2:3:4:5:6:7", std::nullopt},
      {"1:2:3:4:5:6:7:8:9", std::nullopt},
      {"1:2:3:4:5:6:7:8::", std::nullopt},
      {"::1:2:3:4:5:6:7:8", std::nullopt},
      {"12345::1", std::nullopt},
      {"g::1", std::nullopt},
      {"::1.2.3", std::nullopt},
      {"::1.2.3.04", std::nullopt},
      {"::1.2.3.256", std::nullopt},
      {"::0x1.2.3.4", std::nullopt},
      {"1.2.3.4::", std::nullopt},
      {"::1.2.3.4:1", std::nullopt},
      {"1:2:3:4:5:6:7:1.2.3.4", std::nullopt},
      {"fe80::1%", std::nullopt},
      {"fe80::1%eth0", std::nullopt},
      {"fe80::1%4294967296", std::nullopt},
      {"fe80::1%1%2", std::nullopt},
      {"[::1]", std::nullopt},
      {"::1 ", std::nullopt},
      {"127.0.0.1", std::nullopt},
  };
  for (const V6Case& c : cases) EXPECT_EQ(ParseIpv6(c.text), c.want) << "[" << c.text << "]";
}

TEST(IpAddress, WrittenInOneFormThatReadsBack) {
  const struct {
    IpAddress address;
    const char* text;
  } cases[] = {
      {Ipv4(127, 0, 0, 1), "127.0.0.1"},
      {Ipv4(0, 0, 0, 0), "0.0.0.0"},
      {Ipv4(255, 255, 255, 255), "255.255.255.255"},
      {Ipv6(G{}), "::"},
      {Ipv6(G{0, 0, 0, 0, 0, 0, 0, 1}), "::1"},
      {Ipv6(G{1, 0, 0, 0, 0, 0, 0, 0}), "1::"},
      {Ipv6(G{0x2001, 0xdb8, 0, 0, 0, 0, 0, 1}), "2001:db8::1"},
      // One zero group stays; the longest run is shortened, the first of two equal ones.
      {Ipv6(G{0x2001, 0xdb8, 0, 1, 1, 1, 1, 1}), "2001:db8:0:1:1:1:1:1"},
      {Ipv6(G{0x2001, 0, 0, 1, 0, 0, 0, 1}), "2001:0:0:1::1"},
      {Ipv6(G{0x2001, 0xdb8, 0, 0, 1, 0, 0, 1}), "2001:db8::1:0:0:1"},
      {Ipv6(G{0xABCD, 0xEF01, 0, 0, 0, 0, 0, 0}), "abcd:ef01::"},
      {Ipv6(G{1, 2, 3, 4, 5, 6, 7, 8}), "1:2:3:4:5:6:7:8"},
      {Ipv6(G{0, 0, 0, 0, 0, 0xffff, 0xc000, 0x201}), "::ffff:192.0.2.1"},
      {Ipv6(G{0xfe80, 0, 0, 0, 0, 0, 0, 1}, 12), "fe80::1%12"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatIpAddress(c.address), c.text);
    const auto back = c.address.family == IpAddress::Family::V4 ? ParseIpv4(c.text)
                                                                 : ParseIpv6(c.text);
    EXPECT_EQ(back, c.address) << c.text;
  }
}

TEST(IpAddress, MappedAddressesUnmapToIpv4) {
  const IpAddress mapped = *ParseIpv6("::ffff:10.1.2.3");
  EXPECT_TRUE(IsIpv4Mapped(mapped));
  EXPECT_EQ(Unmapped(mapped), Ipv4(10, 1, 2, 3));
  // Neither the compatible form nor the translation prefix is a mapped address.
  for (const char* other : {"::10.1.2.3", "64:ff9b::10.1.2.3", "::1", "::fffe:10.1.2.3"}) {
    const IpAddress a = *ParseIpv6(other);
    EXPECT_FALSE(IsIpv4Mapped(a)) << other;
    EXPECT_EQ(Unmapped(a), a) << other;
  }
  EXPECT_EQ(Unmapped(Ipv4(1, 2, 3, 4)), Ipv4(1, 2, 3, 4));
}

}  // namespace
}  // namespace zepho

// An IPv4 or IPv6 address as a value, and its text forms: the forms a user may
// type, and the one form the program writes (logs, certificate names).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zepho {

struct IpAddress {
  enum class Family : std::uint8_t { V4, V6 };
  Family family = Family::V4;
  // Network byte order; an IPv4 address fills the first 4 bytes, the rest stay 0.
  std::array<std::uint8_t, 16> bytes{};
  // IPv6 only: the zone (an interface index) of a scoped address, 0 for none.
  std::uint32_t scope_id = 0;

  bool operator==(const IpAddress&) const = default;
};

IpAddress Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d);
IpAddress Ipv6(const std::array<std::uint16_t, 8>& groups, std::uint32_t scope_id = 0);

// The classic dotted forms: a.b.c.d, a.b.c (c 16 bits), a.b (b 24 bits) and a
// (32 bits), each part decimal, octal (leading 0) or hexadecimal (0x). Nothing
// may follow the address, not even white space.
std::optional<IpAddress> ParseIpv4(std::string_view text);

// An IPv6 address as RFC 4291 writes it (groups, one "::", an IPv4 tail),
// optionally followed by "%" and a numeric zone. No brackets.
std::optional<IpAddress> ParseIpv6(std::string_view text);

// Dotted decimal, or RFC 5952 for IPv6 (lower case, the longest run of zero
// groups shortened, IPv4-mapped addresses with a dotted tail); the zone, when
// there is one, follows as "%N".
std::string FormatIpAddress(const IpAddress& address);

// ::ffff:a.b.c.d is the IPv4 address a.b.c.d written as IPv6.
bool IsIpv4Mapped(const IpAddress& address);
IpAddress Unmapped(const IpAddress& address);  // a mapped address as IPv4; others unchanged

}  // namespace zepho

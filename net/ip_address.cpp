#include "net/ip_address.h"

#include <cstdio>

namespace zepho {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One part of a dotted IPv4 form: decimal, 0-prefixed octal or 0x-prefixed hex.
std::optional<std::uint32_t> ClassicPart(std::string_view s) {
  if (s.empty()) return std::nullopt;
  unsigned base = 10;
  if (s[0] == '0' && s.size() > 1 && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
    if (s.empty()) return std::nullopt;
  } else if (s[0] == '0') {
    base = 8;
    s.remove_prefix(1);  // "0" alone is zero
  }
  std::uint64_t value = 0;
  for (char c : s) {
    const int d = HexValue(c);
    if (d < 0 || static_cast<unsigned>(d) >= base) return std::nullopt;
    value = value * base + static_cast<unsigned>(d);
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

IpAddress FromUint32(std::uint32_t v) {
  return Ipv4(static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
              static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v));
}

// The IPv4 tail of an IPv6 address: strictly a.b.c.d in decimal, no leading zeros.
bool StrictDotted(std::string_view s, std::uint8_t out[4]) {
  for (int i = 0; i < 4; ++i) {
    const std::size_t dot = i < 3 ? s.find('.') : s.size();
    if (dot == std::string_view::npos) return false;
    const std::string_view part = s.substr(0, dot);
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    unsigned v = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 255) return false;
    out[i] = static_cast<std::uint8_t>(v);
    s.remove_prefix(dot == s.size() ? dot : dot + 1);
  }
  return s.empty();
}

// Groups separated by single colons; `tail_allowed`: the last may be an IPv4 tail
// (two groups). Returns false on any malformed piece.
bool Groups(std::string_view s, bool tail_allowed, std::array<std::uint16_t, 8>& out,
            std::size_t& count) {
  count = 0;
  if (s.empty()) return true;
  while (true) {
    const std::size_t colon = s.find(':');
    const std::string_view piece = s.substr(0, colon);
    const bool last = colon == std::string_view::npos;
    if (piece.find('.') != std::string_view::npos) {
      std::uint8_t v4[4];
      if (!last || !tail_allowed || count > 6 || !StrictDotted(piece, v4)) return false;
      out[count++] = static_cast<std::uint16_t>(v4[0] << 8 | v4[1]);
      out[count++] = static_cast<std::uint16_t>(v4[2] << 8 | v4[3]);
      return true;
    }
    if (piece.empty() || piece.size() > 4 || count == 8) return false;
    unsigned v = 0;
    for (char c : piece) {
      const int d = HexValue(c);
      if (d < 0) return false;
      v = v << 4 | static_cast<unsigned>(d);
    }
    out[count++] = static_cast<std::uint16_t>(v);
    if (last) return true;
    s.remove_prefix(colon + 1);
  }
}

}  // namespace

IpAddress Ipv4(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
  IpAddress ip;
  ip.family = IpAddress::Family::V4;
  ip.bytes[0] = a;
  ip.bytes[1] = b;
  ip.bytes[2] = c;
  ip.bytes[3] = d;
  return ip;
}

IpAddress Ipv6(const std::array<std::uint16_t, 8>& groups, std::uint32_t scope_id) {
  IpAddress ip;
  ip.family = IpAddress::Family::V6;
  for (std::size_t i = 0; i < 8; ++i) {
    ip.bytes[2 * i] = static_cast<std::uint8_t>(groups[i] >> 8);
    ip.bytes[2 * i + 1] = static_cast<std::uint8_t>(groups[i]);
  }
  ip.scope_id = scope_id;
  return ip;
}

std::optional<IpAddress> ParseIpv4(std::string_view text) {
  std::uint32_t parts[4];
  std::size_t n = 0;
  while (true) {
    const std::size_t dot = text.find('.');
    const auto part = ClassicPart(text.substr(0, dot));
    if (!part || n == 4) return std::nullopt;
    parts[n++] = *part;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  // The last part fills the bytes the earlier ones left.
  static constexpr std::uint32_t kLastMax[4] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
  std::uint32_t value = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (parts[i] > 0xFF) return std::nullopt;
    value |= parts[i] << (24 - 8 * i);
  }
  if (parts[n - 1] > kLastMax[n - 1]) return std::nullopt;
  return FromUint32(value | parts[n - 1]);
}

std::optional<IpAddress> ParseIpv6(std::string_view text) {
  std::uint32_t scope = 0;
  if (const std::size_t percent = text.find('%'); percent != std::string_view::npos) {
    const std::string_view zone = text.substr(percent + 1);
    if (zone.empty() || zone.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : zone) {
      if (c < '0' || c > '9') return std::nullopt;
      v = v * 10 + static_cast<unsigned>(c - '0');
    }
    if (v > 0xFFFFFFFFu) return std::nullopt;
    scope = static_cast<std::uint32_t>(v);
    text = text.substr(0, percent);
  }
  const std::size_t gap = text.find("::");
  std::array<std::uint16_t, 8> head{}, tail{};
  std::size_t nhead = 0, ntail = 0;
  if (gap == std::string_view::npos) {
    if (!Groups(text, true, head, nhead) || nhead != 8) return std::nullopt;
    return Ipv6(head, scope);
  }
  // A second "::" (or ":::") is no address.
  if (text.find("::", gap + 1) != std::string_view::npos) return std::nullopt;
  if (!Groups(text.substr(0, gap), false, head, nhead) ||
      !Groups(text.substr(gap + 2), true, tail, ntail) || nhead + ntail > 7)
    return std::nullopt;
  std::array<std::uint16_t, 8> all{};
  for (std::size_t i = 0; i < nhead; ++i) all[i] = head[i];
  for (std::size_t i = 0; i < ntail; ++i) all[8 - ntail + i] = tail[i];
  return Ipv6(all, scope);
}

bool IsIpv4Mapped(const IpAddress& a) {
  if (a.family != IpAddress::Family::V6) return false;
  for (std::size_t i = 0; i < 10; ++i)
    if (a.bytes[i] != 0) return false;
  return a.bytes[10] == 0xFF && a.bytes[11] == 0xFF;
}

IpAddress Unmapped(const IpAddress& a) {
  if (!IsIpv4Mapped(a)) return a;
  return Ipv4(a.bytes[12], a.bytes[13], a.bytes[14], a.bytes[15]);
}

std::string FormatIpAddress(const IpAddress& a) {
  char text[64];
  if (a.family == IpAddress::Family::V4) {
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", a.bytes[0], a.bytes[1], a.bytes[2],
                  a.bytes[3]);
    return text;
  }
  std::string out;
  if (IsIpv4Mapped(a)) {
    std::snprintf(text, sizeof text, "::ffff:%u.%u.%u.%u", a.bytes[12], a.bytes[13],
                  a.bytes[14], a.bytes[15]);
    out = text;
  } else {
    std::uint16_t g[8];
    for (std::size_t i = 0; i < 8; ++i)
      g[i] = static_cast<std::uint16_t>(a.bytes[2 * i] << 8 | a.bytes[2 * i + 1]);
    // The longest run of two or more zero groups, the first of equals.
    std::size_t best = 8, best_len = 1;
    for (std::size_t i = 0; i < 8;) {
      std::size_t j = i;
      while (j < 8 && g[j] == 0) ++j;
      if (j - i > best_len) {
        best = i;
        best_len = j - i;
      }
      i = j == i ? i + 1 : j;
    }
    for (std::size_t i = 0; i < 8; ++i) {
      if (i == best) {
        out += "::";
        i += best_len - 1;
        continue;
      }
      if (!out.empty() && out.back() != ':') out += ':';
      std::snprintf(text, sizeof text, "%x", g[i]);
      out += text;
    }
  }
  if (a.scope_id != 0) out += "%" + std::to_string(a.scope_id);
  return out;
}

}  // namespace zepho

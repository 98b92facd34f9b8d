#include "net/server_address.h"

namespace zepho {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && Blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && Blank(s.back())) s.remove_suffix(1);
  return s;
}

bool NameByte(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u > 0x20 && u != 0x7F && c != ':' && c != '%' && c != '/';
}

ServerAddress FromLiteral(IpAddress ip) {
  ServerAddress a;
  a.kind = ServerAddress::Kind::Literal;
  a.literal = Unmapped(ip);
  IpAddress unscoped = a.literal;
  unscoped.scope_id = 0;
  a.certificate_name = FormatIpAddress(unscoped);
  return a;
}

}  // namespace

ServerAddress ParseServerAddress(std::string_view typed) {
  const std::string_view text = Trimmed(typed);
  if (text.empty()) return {};
  if (text.front() == '[') {
    if (text.size() < 2 || text.back() != ']') return {};
    const auto ip = ParseIpv6(text.substr(1, text.size() - 2));
    return ip ? FromLiteral(*ip) : ServerAddress{};
  }
  if (const auto ip = ParseIpv4(text)) return FromLiteral(*ip);
  if (text.find(':') != std::string_view::npos) {
    const auto ip = ParseIpv6(text);
    return ip ? FromLiteral(*ip) : ServerAddress{};
  }
  for (char c : text)
    if (!NameByte(c)) return {};
  std::string_view bare = text;
  if (bare.back() == '.') bare.remove_suffix(1);
  if (bare.empty() || bare.size() > kMaxHostNameBytes) return {};
  ServerAddress a;
  a.kind = ServerAddress::Kind::Name;
  a.name = std::string(text);
  a.certificate_name = std::string(bare);
  a.send_server_name = true;
  return a;
}

}  // namespace zepho

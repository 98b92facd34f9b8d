// ParseServerAddress on arbitrary bytes: an address's written form reads back
// as the same address (the zone aside), a name is what was typed without the
// blanks around it, and nothing invalid carries a name.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/server_address.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view typed(reinterpret_cast<const char*>(data), size);
  const zepho::ServerAddress a = zepho::ParseServerAddress(typed);
  switch (a.kind) {
    case zepho::ServerAddress::Kind::Invalid:
      if (!a.name.empty() || !a.certificate_name.empty()) std::abort();
      break;
    case zepho::ServerAddress::Kind::Literal: {
      zepho::IpAddress unscoped = a.literal;
      unscoped.scope_id = 0;
      const zepho::ServerAddress again = zepho::ParseServerAddress(a.certificate_name);
      if (again.kind != zepho::ServerAddress::Kind::Literal || again.literal != unscoped ||
          again.certificate_name != a.certificate_name || zepho::IsIpv4Mapped(a.literal))
        std::abort();
      if (zepho::FormatIpAddress(a.literal).size() > 64) std::abort();
      break;
    }
    case zepho::ServerAddress::Kind::Name:
      if (a.name.empty() || a.name.size() > zepho::kMaxHostNameBytes + 1 ||
          typed.find(a.name) == std::string_view::npos || a.name.front() == ' ' ||
          a.name.back() == ' ' || !a.send_server_name)
        std::abort();
      break;
  }
  return 0;
}

// Test messages show an address in its written form, not as bytes.
#pragma once

#include <ostream>

#include "net/ip_address.h"

namespace zepho {

inline void PrintTo(const IpAddress& address, std::ostream* out) {
  *out << FormatIpAddress(address);
}

}  // namespace zepho

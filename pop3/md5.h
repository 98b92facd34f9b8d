// MD5 message digest (RFC 1321), for the APOP login.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace zepho {

std::array<std::uint8_t, 16> Md5(std::string_view bytes);

// 32 lowercase hexadecimal digits, two per byte in digest order.
std::string Md5Hex(std::string_view bytes);

}  // namespace zepho

// SHA-256 (FIPS 180-4): certificate fingerprints, the PKCE challenge.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace zepho {

using Sha256Digest = std::array<std::uint8_t, 32>;

Sha256Digest Sha256(std::string_view bytes);

}  // namespace zepho

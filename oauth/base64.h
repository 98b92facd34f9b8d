// Base64 (RFC 4648): the standard alphabet with padding for SASL and stored
// blobs, the URL-safe alphabet without padding for PKCE and state.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zepho {

std::string Base64Encode(std::string_view bytes);
std::string Base64UrlEncode(std::string_view bytes);

// Strict: the standard alphabet, padded to a multiple of four, no blanks or
// line breaks, unused bits zero. Anything else is no base64.
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace zepho

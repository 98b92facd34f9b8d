// The token endpoint's answer (RFC 6749 5.1 and 5.2), read from its JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zepho {

// Longer provider texts are cut: they end up in a box, not in a document.
inline constexpr std::size_t kMaxErrorTextBytes = 1024;
// An expiry beyond a year is taken as a year.
inline constexpr std::int64_t kMaxExpiresInSeconds = 365LL * 24 * 3600;

struct TokenResponse {
  enum class Kind {
    Granted,    // an access token (and perhaps a refresh token)
    Refused,    // the provider's error: `error`, `error_description`
    Malformed,  // neither: `problem` says what was wrong, never with the body's text
  };
  Kind kind = Kind::Malformed;
  int http_status = 0;
  std::string access_token;
  std::string token_type;
  std::int64_t expires_in = 0;  // seconds; 0 when absent
  std::string refresh_token;    // empty when none came
  std::string scope;
  std::string error;              // e.g. "invalid_grant"
  std::string error_description;  // UTF-8, as the provider wrote it
  std::string problem;            // Malformed only
};

// `body` is the response body of status `http_status`. A grant needs status
// 200, a bearer token type and a non-empty access token; an error is any JSON
// object with a string "error", whatever the status.
TokenResponse ParseTokenResponse(int http_status, std::string_view body);

}  // namespace zepho

// The token endpoint's response and its JSON: any bytes, in any pieces, must
// end in a bounded, defined result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "oauth/http_message.h"
#include "oauth/token_response.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::size_t piece = data[0] % 17 + 1;
  const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  zepho::HttpResponseParser p;
  for (std::size_t at = 0; at < bytes.size(); at += piece) p.Feed(bytes.substr(at, piece));
  if (p.status() == zepho::HttpResponseParser::Status::Incomplete) p.Close();
  if (p.body().size() > zepho::kMaxHttpBodyBytes) std::abort();
  if (p.status() == zepho::HttpResponseParser::Status::Failed && p.error().empty()) std::abort();
  // The raw bytes as a token endpoint's body too, not only what survived HTTP.
  for (std::string_view body : {std::string_view(p.body()), bytes}) {
    const zepho::TokenResponse r = zepho::ParseTokenResponse(p.status_code(), body);
    if (r.kind == zepho::TokenResponse::Kind::Granted && r.access_token.empty()) std::abort();
    if (r.expires_in < 0 || r.expires_in > zepho::kMaxExpiresInSeconds) std::abort();
    if (r.error_description.size() > zepho::kMaxErrorTextBytes) std::abort();
  }
  return 0;
}

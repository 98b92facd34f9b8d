#include "oauth/token_response.h"

#include <nlohmann/json.hpp>

namespace zepho {

namespace {

using nlohmann::json;

std::string StringField(const json& object, const char* name) {
  const auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// Sanitised for a box: control characters (line breaks included) become
// blanks, and the text is cut at a character boundary.
std::string ErrorText(std::string text) {
  if (text.size() > kMaxErrorTextBytes) {
    std::size_t cut = kMaxErrorTextBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const char x = static_cast<char>(a[i] | 0x20), y = static_cast<char>(b[i] | 0x20);
    if (x != y) return false;
  }
  return true;
}

// A number, or a string of digits (some endpoints quote it); -1 when neither.
std::int64_t Seconds(const json& object, const char* name) {
  const auto it = object.find(name);
  if (it == object.end()) return 0;
  if (it->is_number_unsigned()) {
    const auto v = it->get<std::uint64_t>();
    return v > static_cast<std::uint64_t>(kMaxExpiresInSeconds) ? kMaxExpiresInSeconds
                                                                 : static_cast<std::int64_t>(v);
  }
  if (it->is_number_integer()) return -1;  // negative
  if (it->is_number_float()) {
    const double v = it->get<double>();
    if (!(v >= 0)) return -1;
    return v > static_cast<double>(kMaxExpiresInSeconds) ? kMaxExpiresInSeconds
                                                         : static_cast<std::int64_t>(v);
  }
  if (it->is_string()) {
    const std::string s = it->get<std::string>();
    if (s.empty() || s.size() > 12) return s.empty() ? -1 : kMaxExpiresInSeconds;
    std::int64_t v = 0;
    for (char c : s) {
      if (c < '0' || c > '9') return -1;
      v = v * 10 + (c - '0');
    }
    return v > kMaxExpiresInSeconds ? kMaxExpiresInSeconds : v;
  }
  return -1;
}

}  // namespace

TokenResponse ParseTokenResponse(int http_status, std::string_view body) {
  TokenResponse r;
  r.http_status = http_status;
  const json doc = json::parse(body.begin(), body.end(), nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) {
    r.problem = "the token endpoint's answer is not a JSON object (HTTP " +
                std::to_string(http_status) + ")";
    return r;
  }
  r.error = ErrorText(StringField(doc, "error"));
  if (!r.error.empty()) {
    r.kind = TokenResponse::Kind::Refused;
    r.error_description = ErrorText(StringField(doc, "error_description"));
    return r;
  }
  if (http_status != 200) {
    r.problem = "HTTP " + std::to_string(http_status) + " without an error code";
    return r;
  }
  r.access_token = StringField(doc, "access_token");
  r.token_type = StringField(doc, "token_type");
  r.refresh_token = StringField(doc, "refresh_token");
  r.scope = StringField(doc, "scope");
  r.expires_in = Seconds(doc, "expires_in");
  if (r.access_token.empty()) {
    r.problem = "no access token";
  } else if (!EqualNoCase(r.token_type, "bearer")) {
    r.problem = "token type is not Bearer";
  } else if (r.expires_in < 0) {
    r.problem = "expires_in is not a number of seconds";
  } else {
    r.kind = TokenResponse::Kind::Granted;
    return r;
  }
  r.access_token.clear();
  r.refresh_token.clear();
  r.expires_in = 0;
  return r;
}

}  // namespace zepho

#include "oauth/pkce.h"

#include "common/sha256.h"
#include "oauth/base64.h"

namespace zepho {

std::string PkceVerifier(std::string_view random_bytes) { return Base64UrlEncode(random_bytes); }

std::string PkceChallenge(std::string_view verifier) {
  const Sha256Digest digest = Sha256(verifier);
  return Base64UrlEncode(
      std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size()));
}

std::string OAuthState(std::string_view random_bytes) { return Base64UrlEncode(random_bytes); }

bool SameSecret(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    diff = static_cast<unsigned char>(diff | (a[i] ^ b[i]));
  return diff == 0;
}

}  // namespace zepho

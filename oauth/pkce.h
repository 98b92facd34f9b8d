// Proof Key for Code Exchange (RFC 7636), method S256, and the `state` of one
// sign-in. The random bytes come from the caller: the core has no source.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zepho {

// 32 random bytes make a verifier of 43 characters, the shortest allowed.
inline constexpr std::size_t kPkceVerifierBytes = 32;
inline constexpr std::size_t kStateBytes = 16;

// The verifier: the bytes in base64url without padding.
std::string PkceVerifier(std::string_view random_bytes);
// The challenge sent with the authorize request: base64url(SHA-256(verifier)).
std::string PkceChallenge(std::string_view verifier);
// An opaque `state`: the bytes in base64url.
std::string OAuthState(std::string_view random_bytes);

// Compares without stopping at the first difference, so that the time taken
// tells nothing about how much of a guessed state was right.
bool SameSecret(std::string_view a, std::string_view b);

}  // namespace zepho

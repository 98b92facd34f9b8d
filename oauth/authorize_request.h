// One sign-in in the browser: its secrets (state, PKCE verifier), the
// loopback redirect address and the authorize URL the browser opens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "oauth/provider_preset.h"

namespace zepho {

struct SignInAttempt {
  std::string state;
  std::string verifier;
  std::string challenge;
  std::string redirect_uri;  // "http://127.0.0.1:<port>/"
};

// Needs kStateBytes + kPkceVerifierBytes random bytes: the first for the
// state, the rest for the verifier.
SignInAttempt NewSignInAttempt(std::string_view random_bytes, std::uint16_t port);

// The authorize URL: response_type=code, client_id, redirect_uri, scope, state,
// code_challenge (S256), the provider's extra fields and, when an account is
// given, login_hint.
std::string AuthorizeUrl(const OAuthClient& client, const SignInAttempt& attempt,
                         std::string_view login_hint = {});

}  // namespace zepho

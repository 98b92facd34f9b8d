// The form bodies posted to the token endpoint: the code of a sign-in for
// tokens, and a refresh token for a new access token. The client secret is
// sent in the body when there is one (client_secret_post).
#pragma once

#include <string>
#include <string_view>

#include "oauth/authorize_request.h"
#include "oauth/provider_preset.h"

namespace zepho {

inline constexpr std::string_view kFormContentType = "application/x-www-form-urlencoded";

std::string AuthorizationCodeBody(const OAuthClient& client, const SignInAttempt& attempt,
                                  std::string_view code);
std::string RefreshTokenBody(const OAuthClient& client, std::string_view refresh_token);

}  // namespace zepho

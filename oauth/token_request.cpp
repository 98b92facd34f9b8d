#include "oauth/token_request.h"

#include "oauth/percent_encoding.h"

namespace zepho {

namespace {

std::string WithClient(QueryFields fields, const OAuthClient& client) {
  fields.emplace_back("client_id", client.client_id);
  if (!client.client_secret.empty()) fields.emplace_back("client_secret", client.client_secret);
  return EncodeQuery(fields);
}

}  // namespace

std::string AuthorizationCodeBody(const OAuthClient& client, const SignInAttempt& attempt,
                                  std::string_view code) {
  return WithClient({{"grant_type", "authorization_code"},
                     {"code", std::string(code)},
                     {"redirect_uri", attempt.redirect_uri},
                     {"code_verifier", attempt.verifier}},
                    client);
}

std::string RefreshTokenBody(const OAuthClient& client, std::string_view refresh_token) {
  // No scope: the grant keeps the scopes of the sign-in, at either provider.
  return WithClient({{"grant_type", "refresh_token"}, {"refresh_token", std::string(refresh_token)}},
                    client);
}

}  // namespace zepho

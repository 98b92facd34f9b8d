#include "oauth/authorize_request.h"

#include <algorithm>

#include "oauth/pkce.h"

namespace zepho {

SignInAttempt NewSignInAttempt(std::string_view random_bytes, std::uint16_t port) {
  SignInAttempt a;
  a.state = OAuthState(random_bytes.substr(0, kStateBytes));
  a.verifier = PkceVerifier(random_bytes.substr(std::min(kStateBytes, random_bytes.size()),
                                                kPkceVerifierBytes));
  a.challenge = PkceChallenge(a.verifier);
  a.redirect_uri = "http://127.0.0.1:" + std::to_string(port) + "/";
  return a;
}

std::string AuthorizeUrl(const OAuthClient& client, const SignInAttempt& attempt,
                         std::string_view login_hint) {
  QueryFields q = {{"response_type", "code"},
                   {"client_id", client.client_id},
                   {"redirect_uri", attempt.redirect_uri},
                   {"scope", client.scope},
                   {"state", attempt.state},
                   {"code_challenge", attempt.challenge},
                   {"code_challenge_method", "S256"}};
  if (client.scope.empty()) q.erase(q.begin() + 3);
  q.insert(q.end(), client.extra_authorize_fields.begin(), client.extra_authorize_fields.end());
  if (!login_hint.empty()) q.emplace_back("login_hint", std::string(login_hint));
  // A custom authorize URL may carry a query of its own.
  const char joint = client.authorize_url.find('?') == std::string::npos ? '?' : '&';
  return client.authorize_url + joint + EncodeQuery(q);
}

}  // namespace zepho

// What a sign-in and a refresh send: the provider presets, the authorize URL
// the browser opens, and the form bodies posted to the token endpoint.
#include <gtest/gtest.h>

#include <string>

#include "oauth/authorize_request.h"
#include "oauth/percent_encoding.h"
#include "oauth/provider_preset.h"
#include "oauth/token_request.h"

namespace zepho {
namespace {

std::string Random48() {
  std::string r;
  for (int i = 0; i < 48; ++i) r += static_cast<char>(i * 7 + 3);
  return r;
}

TEST(ProviderPreset, KeysParseInAnyCase) {
  EXPECT_EQ(ParseOAuthProvider("microsoft"), OAuthProvider::Microsoft);
  EXPECT_EQ(ParseOAuthProvider("Google"), OAuthProvider::Google);
  EXPECT_EQ(ParseOAuthProvider(" CUSTOM "), OAuthProvider::Custom);
  EXPECT_FALSE(ParseOAuthProvider("").has_value());
  EXPECT_FALSE(ParseOAuthProvider("yahoo").has_value());
  EXPECT_FALSE(ParseOAuthProvider("micro soft").has_value());
  for (OAuthProvider p : {OAuthProvider::Microsoft, OAuthProvider::Google, OAuthProvider::Custom})
    EXPECT_EQ(ParseOAuthProvider(OAuthProviderKey(p)), p);
}

TEST(ProviderPreset, EndpointsServerAndScopePerProvider) {
  struct Case {
    OAuthProvider provider;
    std::string tenant, authorize, token, scope, server;
    std::int32_t port, tls;
  };
  const Case cases[] = {
      {OAuthProvider::Microsoft, "", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
       "https://login.microsoftonline.com/common/oauth2/v2.0/token",
       "https://outlook.office.com/POP.AccessAsUser.All offline_access", "outlook.office365.com", 995, 2},
      {OAuthProvider::Microsoft, " contoso.onmicrosoft.com ",
       "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/authorize",
       "https://login.microsoftonline.com/contoso.onmicrosoft.com/oauth2/v2.0/token",
       "https://outlook.office.com/POP.AccessAsUser.All offline_access", "outlook.office365.com", 995, 2},
      // A tenant cannot reach outside its path segment.
      {OAuthProvider::Microsoft, "a/../b?x", "https://login.microsoftonline.com/a%2F..%2Fb%3Fx/oauth2/v2.0/authorize",
       "https://login.microsoftonline.com/a%2F..%2Fb%3Fx/oauth2/v2.0/token",
       "https://outlook.office.com/POP.AccessAsUser.All offline_access", "outlook.office365.com", 995, 2},
      {OAuthProvider::Google, "ignored", "https://accounts.google.com/o/oauth2/v2/auth",
       "https://oauth2.googleapis.com/token", "https://mail.google.com/", "pop.gmail.com", 995, 2},
      {OAuthProvider::Custom, "", "", "", "", "", 0, 0},
  };
  for (const Case& c : cases) {
    const ProviderPreset p = PresetOf(c.provider, c.tenant);
    EXPECT_EQ(p.authorize_url, c.authorize) << c.tenant;
    EXPECT_EQ(p.token_url, c.token);
    EXPECT_EQ(p.scope, c.scope);
    EXPECT_EQ(p.server, c.server);
    EXPECT_EQ(p.port, c.port);
    EXPECT_EQ(p.tls, c.tls);
  }
  EXPECT_EQ(PresetOf(OAuthProvider::Google).extra_authorize_fields,
            (QueryFields{{"access_type", "offline"}, {"prompt", "consent"}}));
  EXPECT_TRUE(PresetOf(OAuthProvider::Microsoft).extra_authorize_fields.empty());
}

TEST(ProviderPreset, ClientOfSettings) {
  OAuthSettings s{"custom", " id-1 ", "", "", "https://idp.example/auth", "https://idp.example/token",
                  "mail"};
  auto c = ClientOf(s);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->client_id, "id-1");
  EXPECT_EQ(c->authorize_url, "https://idp.example/auth");
  EXPECT_EQ(c->token_url, "https://idp.example/token");
  EXPECT_EQ(c->scope, "mail");

  // The presets win over stored URLs for the named providers.
  s.provider = "google";
  s.client_secret = "GOCSPX-x";
  c = ClientOf(s);
  ASSERT_TRUE(c);
  EXPECT_EQ(c->token_url, "https://oauth2.googleapis.com/token");
  EXPECT_EQ(c->scope, "https://mail.google.com/");
  EXPECT_EQ(c->client_secret, "GOCSPX-x");

  OAuthSettings missing = s;
  missing.client_id = "  ";
  EXPECT_FALSE(ClientOf(missing));
  missing = s;
  missing.provider = "other";
  EXPECT_FALSE(ClientOf(missing));
  missing = s;
  missing.provider = "custom";
  missing.token_url = "";
  EXPECT_FALSE(ClientOf(missing));
}

TEST(AuthorizeRequest, AttemptTakesStateAndVerifierFromTheRandomBytes) {
  const SignInAttempt a = NewSignInAttempt(Random48(), 51234);
  EXPECT_EQ(a.redirect_uri, "http://127.0.0.1:51234/");
  EXPECT_EQ(a.state.size(), 22u);     // 16 bytes
  EXPECT_EQ(a.verifier.size(), 43u);  // 32 bytes
  EXPECT_EQ(a.challenge.size(), 43u);
  const SignInAttempt other = NewSignInAttempt(std::string(48, 'x'), 51234);
  EXPECT_NE(a.state, other.state);
  EXPECT_NE(a.verifier, other.verifier);
  EXPECT_NE(a.state.substr(0, 10), a.verifier.substr(0, 10)) << "different bytes for each";
}

TEST(AuthorizeRequest, UrlPerProvider) {
  const SignInAttempt a = NewSignInAttempt(Random48(), 8080);
  const QueryFields common = {{"response_type", "code"},
                              {"client_id", "cid"},
                              {"redirect_uri", "http://127.0.0.1:8080/"},
                              {"scope", ""},  // per case
                              {"state", a.state},
                              {"code_challenge", a.challenge},
                              {"code_challenge_method", "S256"}};
  struct Case { OAuthSettings settings; std::string hint, prefix; QueryFields extra; };
  const Case cases[] = {
      {{"microsoft", "cid"}, "taro@example.onmicrosoft.com",
       "https://login.microsoftonline.com/common/oauth2/v2.0/authorize?",
       {{"login_hint", "taro@example.onmicrosoft.com"}}},
      {{"google", "cid", "secret"}, "", "https://accounts.google.com/o/oauth2/v2/auth?",
       {{"access_type", "offline"}, {"prompt", "consent"}}},
      // A custom URL with a query of its own keeps it.
      {{"custom", "cid", "", "", "https://idp.example/auth?tenant=x", "https://idp.example/t", "pop"}, "",
       "https://idp.example/auth?tenant=x&", {}},
  };
  for (const Case& c : cases) {
    const auto client = ClientOf(c.settings);
    ASSERT_TRUE(client);
    const std::string url = AuthorizeUrl(*client, a, c.hint);
    EXPECT_EQ(url.substr(0, c.prefix.size()), c.prefix) << url;
    QueryFields want = common;
    want[3].second = client->scope;
    want.insert(want.end(), c.extra.begin(), c.extra.end());
    QueryFields got = ParseQuery(url.substr(c.prefix.size())).value_or(QueryFields{});
    EXPECT_EQ(got, want) << url;
    EXPECT_EQ(url.find(a.verifier), std::string::npos) << "the verifier never leaves with the URL";
    EXPECT_EQ(url.find("secret"), std::string::npos) << "nor the client secret";
    EXPECT_EQ(url.find(' '), std::string::npos);
  }
  // The scope's blank and the redirect's colons and slashes are escaped.
  const std::string ms = AuthorizeUrl(*ClientOf({"microsoft", "cid"}), a);
  EXPECT_NE(ms.find("scope=https%3A%2F%2Foutlook.office.com%2FPOP.AccessAsUser.All%20offline_access"),
            std::string::npos);
  EXPECT_NE(ms.find("redirect_uri=http%3A%2F%2F127.0.0.1%3A8080%2F"), std::string::npos);
}

TEST(TokenRequest, BodiesWithAndWithoutSecret) {
  const SignInAttempt a = NewSignInAttempt(Random48(), 8080);
  const OAuthClient plain = *ClientOf({"microsoft", "cid"});
  const OAuthClient secret = *ClientOf({"google", "cid", "s&=cret"});
  EXPECT_EQ(ParseQuery(AuthorizationCodeBody(plain, a, "M.C5/code+x")),
            (QueryFields{{"grant_type", "authorization_code"},
                         {"code", "M.C5/code+x"},
                         {"redirect_uri", "http://127.0.0.1:8080/"},
                         {"code_verifier", a.verifier},
                         {"client_id", "cid"}}));
  EXPECT_EQ(ParseQuery(AuthorizationCodeBody(secret, a, "c")),
            (QueryFields{{"grant_type", "authorization_code"},
                         {"code", "c"},
                         {"redirect_uri", "http://127.0.0.1:8080/"},
                         {"code_verifier", a.verifier},
                         {"client_id", "cid"},
                         {"client_secret", "s&=cret"}}));
  EXPECT_EQ(ParseQuery(RefreshTokenBody(plain, "0.AX/r+t=")),
            (QueryFields{{"grant_type", "refresh_token"}, {"refresh_token", "0.AX/r+t="},
                         {"client_id", "cid"}}));
  EXPECT_EQ(ParseQuery(RefreshTokenBody(secret, "1//r")),
            (QueryFields{{"grant_type", "refresh_token"}, {"refresh_token", "1//r"},
                         {"client_id", "cid"}, {"client_secret", "s&=cret"}}));
  // Form bytes as the wire carries them.
  EXPECT_EQ(RefreshTokenBody(plain, "a+b/c"),
            "grant_type=refresh_token&refresh_token=a%2Bb%2Fc&client_id=cid");
}

}  // namespace
}  // namespace zepho

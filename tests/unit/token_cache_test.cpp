// The access token between checks, with a clock of the test's own.
#include "oauth/token_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace zepho {
namespace {

using Need = TokenCache::Need;
using Outcome = TokenOutcome::Kind;

TokenResponse Granted(std::string access, std::int64_t expires_in, std::string refresh = {}) {
  TokenResponse r;
  r.kind = TokenResponse::Kind::Granted;
  r.http_status = 200;
  r.access_token = std::move(access);
  r.token_type = "Bearer";
  r.expires_in = expires_in;
  r.refresh_token = std::move(refresh);
  return r;
}

TokenResponse Refused(std::string error) {
  TokenResponse r;
  r.kind = TokenResponse::Kind::Refused;
  r.http_status = 400;
  r.error = std::move(error);
  r.error_description = "why";
  return r;
}

TEST(TokenCache, WithoutRefreshTokenOnlyASignInHelps) {
  TokenCache cache;
  EXPECT_EQ(cache.NeedAt(0), Need::SignIn);
  cache.SetRefreshToken("r0");
  EXPECT_EQ(cache.NeedAt(0), Need::Refresh);
}

// Cached up to the margin before expiry, then refreshed; a short-lived token
// keeps half its life.
TEST(TokenCache, CachedUntilShortlyBeforeExpiry) {
  struct Case { std::int64_t expires_in, last_cached; };
  const Case cases[] = {
      {3599, 1000 + 3599 - kExpiryMarginSeconds - 1},
      {3600, 1000 + 3600 - kExpiryMarginSeconds - 1},
      {600, 1000 + 600 - 300 - 1},
      {120, 1000 + 60 - 1},  // half of 120
      {1, 1000},             // margin 0: cached within the second it came
      {0, 999},              // no expiry given: this check only, never cached
  };
  for (const Case& c : cases) {
    TokenCache cache;
    cache.SetRefreshToken("r0");
    const TokenOutcome o = cache.Accept(Granted("a1", c.expires_in), 1000);
    ASSERT_EQ(o.kind, Outcome::Ready);
    EXPECT_EQ(cache.access_token(), "a1");
    if (c.last_cached >= 1000) {
      EXPECT_EQ(cache.NeedAt(1000), Need::Cached) << c.expires_in;
      EXPECT_EQ(cache.NeedAt(c.last_cached), Need::Cached) << c.expires_in;
    }
    EXPECT_EQ(cache.NeedAt(c.last_cached + 1), Need::Refresh) << c.expires_in;
  }
}

TEST(TokenCache, AClockSetBackRefreshes) {
  TokenCache cache;
  cache.SetRefreshToken("r0");
  cache.Accept(Granted("a1", 3600), 1000);
  EXPECT_EQ(cache.NeedAt(1500), Need::Cached);
  EXPECT_EQ(cache.NeedAt(999), Need::Refresh);
}

TEST(TokenCache, RotatedRefreshTokenIsReported) {
  TokenCache cache;
  cache.SetRefreshToken("r0");
  // Same token back (Microsoft may): nothing to store.
  TokenOutcome o = cache.Accept(Granted("a1", 3600, "r0"), 0);
  EXPECT_FALSE(o.refresh_token_changed);
  // None back (Google's refresh): the old one stays.
  o = cache.Accept(Granted("a2", 3600), 10);
  EXPECT_FALSE(o.refresh_token_changed);
  EXPECT_EQ(cache.refresh_token(), "r0");
  // A new one: store it now.
  o = cache.Accept(Granted("a3", 3600, "r1"), 20);
  EXPECT_EQ(o.kind, Outcome::Ready);
  EXPECT_TRUE(o.refresh_token_changed);
  EXPECT_EQ(cache.refresh_token(), "r1");
  EXPECT_EQ(cache.access_token(), "a3");
}

TEST(TokenCache, FirstRefreshTokenOfASignInIsToStore) {
  TokenCache cache;
  const TokenOutcome o = cache.Accept(Granted("a1", 3600, "r1"), 0);
  EXPECT_TRUE(o.refresh_token_changed);
  EXPECT_EQ(cache.NeedAt(1), Need::Cached);
}

TEST(TokenCache, InvalidGrantMeansSignInAgain) {
  TokenCache cache;
  cache.SetRefreshToken("r0");
  cache.Accept(Granted("a1", 3600), 0);
  const TokenOutcome o = cache.Accept(Refused("invalid_grant"), 4000);
  EXPECT_EQ(o.kind, Outcome::SignInAgain);
  EXPECT_EQ(o.error, "invalid_grant");
  EXPECT_EQ(cache.NeedAt(4000), Need::SignIn);
  EXPECT_TRUE(cache.access_token().empty());
}

TEST(TokenCache, OtherErrorsAndBadAnswersKeepTheGrant) {
  TokenCache cache;
  cache.SetRefreshToken("r0");
  cache.Accept(Granted("a1", 3600), 0);
  TokenOutcome o = cache.Accept(Refused("temporarily_unavailable"), 4000);
  EXPECT_EQ(o.kind, Outcome::Refused);
  EXPECT_EQ(o.error_description, "why");
  EXPECT_EQ(cache.NeedAt(4000), Need::Refresh) << "the next check tries again";

  TokenResponse bad;
  bad.problem = "not JSON";
  o = cache.Accept(bad, 4100);
  EXPECT_EQ(o.kind, Outcome::BadAnswer);
  EXPECT_EQ(o.problem, "not JSON");
  EXPECT_EQ(cache.refresh_token(), "r0");
}

TEST(TokenCache, RefusedAccessTokenIsRefreshedAtTheNextCheck) {
  TokenCache cache;
  cache.SetRefreshToken("r0");
  cache.Accept(Granted("a1", 3600), 0);
  cache.ForgetAccessToken();
  EXPECT_EQ(cache.NeedAt(1), Need::Refresh);
  EXPECT_EQ(cache.refresh_token(), "r0");
}

}  // namespace
}  // namespace zepho

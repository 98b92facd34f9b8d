// The access token between checks: kept until shortly before it expires,
// then replaced by a refresh. Time is passed in, in seconds of a clock that
// only the caller reads.
#pragma once

#include <cstdint>
#include <string>

#include "oauth/token_response.h"

namespace zepho {

// A token is not used in its last five minutes (half its life when it lives
// less than ten): a check takes a few seconds from here to the login, and the
// provider's clock may be ahead of ours.
inline constexpr std::int64_t kExpiryMarginSeconds = 300;

struct TokenOutcome {
  enum class Kind {
    Ready,        // access_token() may be used now
    SignInAgain,  // the grant is gone (invalid_grant): the user must sign in again
    Refused,      // another error of the provider: `error`, `error_description`
    BadAnswer,    // not a token response: `problem`
  };
  Kind kind = Kind::BadAnswer;
  // The provider sent a new refresh token (rotation, or the first one of a
  // sign-in): store refresh_token() at once, the old one may be dead already.
  bool refresh_token_changed = false;
  std::string error;
  std::string error_description;
  std::string problem;
};

class TokenCache {
 public:
  enum class Need {
    Cached,   // use access_token()
    Refresh,  // post RefreshTokenBody(refresh_token()) first
    SignIn,   // no refresh token: only a sign-in helps
  };

  // The stored refresh token; forgets any access token.
  void SetRefreshToken(std::string refresh_token);
  Need NeedAt(std::int64_t now) const;
  // The answer to a refresh or a code exchange posted at `sent_at`.
  TokenOutcome Accept(const TokenResponse& response, std::int64_t sent_at);
  // The server refused the access token: the next check refreshes.
  void ForgetAccessToken();

  const std::string& access_token() const { return access_token_; }
  const std::string& refresh_token() const { return refresh_token_; }

 private:
  std::string access_token_;
  std::string refresh_token_;
  std::int64_t obtained_at_ = 0;
  std::int64_t usable_until_ = 0;
};

}  // namespace zepho

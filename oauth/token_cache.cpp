#include "oauth/token_cache.h"

#include <algorithm>

namespace zepho {

void TokenCache::SetRefreshToken(std::string refresh_token) {
  refresh_token_ = std::move(refresh_token);
  ForgetAccessToken();
}

TokenCache::Need TokenCache::NeedAt(std::int64_t now) const {
  // A clock set back counts as expired rather than as younger.
  if (!access_token_.empty() && now >= obtained_at_ && now < usable_until_) return Need::Cached;
  return refresh_token_.empty() ? Need::SignIn : Need::Refresh;
}

TokenOutcome TokenCache::Accept(const TokenResponse& response, std::int64_t sent_at) {
  TokenOutcome out;
  switch (response.kind) {
    case TokenResponse::Kind::Granted: {
      out.kind = TokenOutcome::Kind::Ready;
      access_token_ = response.access_token;
      obtained_at_ = sent_at;
      const std::int64_t margin = std::min(kExpiryMarginSeconds, response.expires_in / 2);
      // Without expires_in the token serves this check only.
      usable_until_ = sent_at + response.expires_in - margin;
      if (!response.refresh_token.empty() && response.refresh_token != refresh_token_) {
        refresh_token_ = response.refresh_token;
        out.refresh_token_changed = true;
      }
      return out;
    }
    case TokenResponse::Kind::Refused:
      ForgetAccessToken();
      out.error = response.error;
      out.error_description = response.error_description;
      if (response.error == "invalid_grant") {
        out.kind = TokenOutcome::Kind::SignInAgain;
        refresh_token_.clear();
      } else {
        out.kind = TokenOutcome::Kind::Refused;
      }
      return out;
    case TokenResponse::Kind::Malformed:
      break;
  }
  out.problem = response.problem;
  return out;
}

void TokenCache::ForgetAccessToken() {
  access_token_.clear();
  obtained_at_ = usable_until_ = 0;
}

}  // namespace zepho

#include "oauth/provider_preset.h"

namespace zepho {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<OAuthProvider> ParseOAuthProvider(std::string_view key) {
  key = Trim(key);
  for (OAuthProvider p : {OAuthProvider::Microsoft, OAuthProvider::Google, OAuthProvider::Custom})
    if (EqualNoCase(key, OAuthProviderKey(p))) return p;
  return std::nullopt;
}

std::string_view OAuthProviderKey(OAuthProvider provider) {
  switch (provider) {
    case OAuthProvider::Microsoft: return "microsoft";
    case OAuthProvider::Google: return "google";
    case OAuthProvider::Custom: break;
  }
  return "custom";
}

ProviderPreset PresetOf(OAuthProvider provider, std::string_view tenant) {
  ProviderPreset p;
  switch (provider) {
    case OAuthProvider::Microsoft: {
      tenant = Trim(tenant);
      // The tenant is a path segment: a GUID, a domain, or common/organizations/consumers.
      const std::string base = "https://login.microsoftonline.com/" +
                               PercentEncode(tenant.empty() ? kDefaultMicrosoftTenant : tenant) +
                               "/oauth2/v2.0/";
      p.authorize_url = base + "authorize";
      p.token_url = base + "token";
      p.scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
      p.server = "outlook.office365.com";
      p.port = 995;
      p.tls = 2;
      break;
    }
    case OAuthProvider::Google:
      p.authorize_url = "https://accounts.google.com/o/oauth2/v2/auth";
      p.token_url = "https://oauth2.googleapis.com/token";
      p.scope = "https://mail.google.com/";
      // Without both Google gives a refresh token only at the first consent.
      p.extra_authorize_fields = {{"access_type", "offline"}, {"prompt", "consent"}};
      p.server = "pop.gmail.com";
      p.port = 995;
      p.tls = 2;
      break;
    case OAuthProvider::Custom:
      break;
  }
  return p;
}

std::optional<OAuthClient> ClientOf(const OAuthSettings& settings) {
  const auto provider = ParseOAuthProvider(settings.provider);
  if (!provider) return std::nullopt;
  OAuthClient c;
  if (*provider == OAuthProvider::Custom) {
    c.authorize_url = Trim(settings.authorize_url);
    c.token_url = Trim(settings.token_url);
    c.scope = Trim(settings.scope);
  } else {
    ProviderPreset p = PresetOf(*provider, settings.tenant);
    c.authorize_url = std::move(p.authorize_url);
    c.token_url = std::move(p.token_url);
    c.scope = std::move(p.scope);
    c.extra_authorize_fields = std::move(p.extra_authorize_fields);
  }
  c.client_id = Trim(settings.client_id);
  c.client_secret = Trim(settings.client_secret);
  if (c.client_id.empty() || c.authorize_url.empty() || c.token_url.empty()) return std::nullopt;
  return c;
}

}  // namespace zepho

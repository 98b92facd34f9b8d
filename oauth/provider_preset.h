// The providers a user can sign in with, their endpoints and scopes, and the
// client as the settings describe it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "oauth/percent_encoding.h"

namespace zepho {

enum class OAuthProvider { Microsoft, Google, Custom };

// "microsoft", "google", "custom" (any letter case); anything else is none.
std::optional<OAuthProvider> ParseOAuthProvider(std::string_view key);
std::string_view OAuthProviderKey(OAuthProvider provider);

inline constexpr std::string_view kDefaultMicrosoftTenant = "common";

// What choosing a provider fills in.
struct ProviderPreset {
  std::string authorize_url;
  std::string token_url;
  std::string scope;
  QueryFields extra_authorize_fields;  // added to the authorize request
  std::string server;                  // the POP3 server, empty for custom
  std::int32_t port = 0;
  std::int32_t tls = 0;                // as the Tls key: 2 = TLS from the first byte
};

// `tenant` only for Microsoft; empty or blank means "common".
ProviderPreset PresetOf(OAuthProvider provider, std::string_view tenant = {});

// The sign-in settings as they are stored.
struct OAuthSettings {
  std::string provider = {};  // OAuthProvider key
  std::string client_id = {};
  std::string client_secret = {};
  std::string tenant = {};
  std::string authorize_url = {};  // used for custom only
  std::string token_url = {};      // used for custom only
  std::string scope = {};          // used for custom only
};

// The client the requests are made for.
struct OAuthClient {
  std::string authorize_url;
  std::string token_url;
  std::string scope;
  std::string client_id;
  std::string client_secret;  // empty: none is sent
  QueryFields extra_authorize_fields;
};

// The presets for Microsoft and Google, the stored URLs and scope for custom.
// No value when the provider is unknown or the client id or a URL is missing.
std::optional<OAuthClient> ClientOf(const OAuthSettings& settings);

}  // namespace zepho

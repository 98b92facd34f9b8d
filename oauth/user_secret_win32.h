// A secret (the refresh token) protected for the current Windows user with
// the Data Protection API, as base64 text for the settings file: only the same
// user on the same machine (or roaming profile) can read it back.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zepho {

// None when the system refuses (then nothing may be stored in clear).
std::optional<std::string> ProtectForCurrentUser(std::string_view secret);
// None when the text is no base64, was protected for another user or
// machine, or was altered.
std::optional<std::string> UnprotectForCurrentUser(std::string_view stored);

}  // namespace zepho

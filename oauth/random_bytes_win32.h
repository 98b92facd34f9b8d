// Random bytes from the system for the sign-in's state and PKCE verifier.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zepho {

// None when the system's generator fails (then no sign-in starts).
std::optional<std::string> SystemRandomBytes(std::size_t count);

}  // namespace zepho

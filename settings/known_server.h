// The server known to exist (NETWORK/KnownServer): the server setting, byte
// for byte as typed, once its name has resolved or its address was reached.
// Kept in the settings file so that a computer that starts without a network
// takes the failed look-up for an outage, not for a typing error; a changed
// server setting no longer matches it, so a new server is known only once it
// resolves. Written only when it changes; the settings' own saves leave it.
#pragma once

#include <string>

#include "settings/profile.h"

namespace zepho {

inline constexpr char kKnownServerKey[] = "KnownServer";

// "" when none is kept.
std::string ReadKnownServer(Profile& p);
// False when the file could not be written.
bool WriteKnownServer(Profile& p, const std::string& server);

}  // namespace zepho

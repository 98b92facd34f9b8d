// The check addresses as new-mail detection uses them: 20 slots, each a header
// text and an address text, read afresh from the settings file at every check.
#pragma once

#include <array>
#include <string>

#include "settings/profile.h"
#include "settings/settings_file.h"

namespace zepho {

struct CheckEntry {
  std::string header;
  std::string address;
};
using CheckList = std::array<CheckEntry, kMaxCheckAddresses>;

// Entry i of the file goes to slot i-1; entries past the 20th have no slot.
CheckList LoadCheckList(Profile& ini);

}  // namespace zepho

// A text made to stand on one line of a log: every control byte (below 0x20,
// line breaks among them) becomes a blank, whatever the text came from.
#pragma once

#include <string>

namespace zepho {

std::string OneLine(std::string text);

}  // namespace zepho

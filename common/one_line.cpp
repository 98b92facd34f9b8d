#include "common/one_line.h"

namespace zepho {

std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  return text;
}

}  // namespace zepho

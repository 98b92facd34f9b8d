#include "common/cp932.h"

#include <vector>

namespace zepho {

namespace {

// Marks which positions of `text` start a character (true) and which are the
// second byte of a double-byte character (false). A lead byte at the very end
// has no second byte and stands alone.
std::vector<bool> CharacterStarts(std::string_view text) {
  std::vector<bool> starts(text.size(), false);
  for (std::size_t i = 0; i < text.size(); ++i) {
    starts[i] = true;
    if (IsLeadByte932(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  }
  return starts;
}

}  // namespace

std::size_t Find932(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (needle.empty() || haystack.empty()) return std::string_view::npos;
  // Candidates come from the plain byte search; each is kept only when it starts
  // a character. The walk over character starts only ever moves forward, so a
  // long text (the whole received-id list) costs one pass at most.
  std::size_t boundary = 0;
  for (std::size_t pos = haystack.find(needle, from); pos != std::string_view::npos;
       pos = haystack.find(needle, pos + 1)) {
    while (boundary < pos) {
      const bool lead = IsLeadByte932(static_cast<unsigned char>(haystack[boundary]));
      boundary += lead && boundary + 1 < haystack.size() ? 2 : 1;
    }
    if (boundary == pos) return pos;
  }
  return std::string_view::npos;
}

bool OccursIn(std::string_view needle, std::string_view haystack) {
  return Find932(haystack, needle) != std::string_view::npos;
}

std::string FolderOf(std::string_view path) {
  std::size_t end = 0;  // one past the last separator found
  std::size_t i = 0;
  while (i < path.size()) {
    const unsigned char b = static_cast<unsigned char>(path[i]);
    if (IsLeadByte932(b) && i + 1 < path.size()) {
      i += 2;
      continue;
    }
    if (b == '\\' || b == ':') end = i + 1;
    ++i;
  }
  return std::string(path.substr(0, end));
}

std::string CutAt932(std::string_view text, std::size_t max_bytes) {
  if (text.size() <= max_bytes) return std::string(text);
  const std::vector<bool> starts = CharacterStarts(text);
  std::size_t cut = max_bytes;
  // A cut just before a trail byte would split its character: drop the lead byte too.
  if (!starts[cut]) --cut;
  return std::string(text.substr(0, cut));
}

}  // namespace zepho

// SplitUidlLines on arbitrary bytes: no entry holds a line break or a NUL, and
// the entries put back together give the content before the first NUL, with
// every line break spelled as LF.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "companion/companion_accounts.h"

namespace {

// CR LF and lone CR both become LF.
std::string NormalizeBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = zepho::SplitUidlLines(bytes);

  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
    if (i > 0) joined += '\n';
    joined += lines[i];
  }

  const std::string content = NormalizeBreaks(bytes.substr(0, bytes.find('\0')));
  // A break at the very end belongs to the last entry; there is none without entries.
  if (lines.empty()) {
    if (!content.empty()) std::abort();
  } else {
    if (!content.empty() && content.back() == '\n') joined += '\n';
    if (joined != content) std::abort();
  }

  // WholeText is the same content in CR LF spelling, every line ended; the
  // one-pass text of the loader is the same text.
  const std::string whole = zepho::WholeText(lines);
  if (zepho::UidlWholeText(std::string(bytes)) != whole) std::abort();
  std::string ended = content;
  if (!ended.empty() && ended.back() != '\n') ended += '\n';
  if (NormalizeBreaks(whole) != ended) std::abort();
  return 0;
}

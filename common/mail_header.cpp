#include "common/mail_header.h"

#include <algorithm>
#include <cstdint>

namespace zepho {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

// Adds one piece of an unfolded value: blanks at its start are dropped while
// the value is still empty, and nothing goes past the bound.
void AppendPiece(std::string& value, std::string_view piece) {
  if (value.empty()) {
    std::size_t start = 0;
    while (start < piece.size() && IsBlank(piece[start])) ++start;
    piece.remove_prefix(start);
  }
  value.append(piece.substr(0, kMaxHeaderValueBytes - value.size()));
}

void TrimEnd(std::string& value) {
  while (!value.empty() && IsBlank(value.back())) value.pop_back();
}

}  // namespace

void ReadHeaderFields(std::string_view reply, std::span<const std::string_view> names,
                      std::span<std::string> values) {
  const std::size_t count = std::min({names.size(), values.size(), kMaxHeaderNames});
  for (std::size_t i = 0; i < count; ++i) values[i].clear();
  std::uint32_t wanted = count == 32 ? ~std::uint32_t{0} : (std::uint32_t{1} << count) - 1;

  std::size_t pos = 0;
  if (reply.starts_with("+OK")) {
    const std::size_t lf = reply.find('\n');
    pos = lf == std::string_view::npos ? reply.size() : lf + 1;
  }
  std::string* current = nullptr;  // the value the continuation lines belong to
  while (pos < reply.size()) {
    const std::size_t lf = reply.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? reply.size() : lf;
    std::string_view line = reply.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line == ".") break;  // the end of the header, or of the reply

    if (IsBlank(line[0])) {
      if (current) AppendPiece(*current, line);
      continue;
    }
    if (current) {
      TrimEnd(*current);
      current = nullptr;
      if (wanted == 0) return;
    }
    if (line[0] == '.') line.remove_prefix(1);  // dot-stuffed by the server
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && IsBlank(name.back())) name.remove_suffix(1);  // "Subject :"
    for (std::size_t i = 0; i < count; ++i) {
      if ((wanted >> i & 1) && SameName(name, names[i])) {
        wanted &= ~(std::uint32_t{1} << i);
        current = &values[i];
        AppendPiece(*current, line.substr(colon + 1));
        break;
      }
    }
  }
  if (current) TrimEnd(*current);
}

std::string HeaderFieldValue(std::string_view reply, std::string_view name) {
  std::string value;
  ReadHeaderFields(reply, std::span<const std::string_view>(&name, 1), std::span<std::string>(&value, 1));
  return value;
}

}  // namespace zepho

#include "oauth/percent_encoding.h"

namespace zepho {

namespace {

bool Unreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (Unreserved(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%') {
      if (text.size() - i < 3) return std::nullopt;
      const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      out += static_cast<char>(hi << 4 | lo);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string EncodeQuery(const QueryFields& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += PercentEncode(name);
    out += '=';
    out += PercentEncode(value);
  }
  return out;
}

std::optional<QueryFields> ParseQuery(std::string_view query) {
  QueryFields fields;
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view field = query.substr(0, amp);
    query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
    if (field.empty()) continue;
    const std::size_t eq = field.find('=');
    auto name = PercentDecode(field.substr(0, eq));
    auto value = PercentDecode(eq == std::string_view::npos ? std::string_view{} : field.substr(eq + 1));
    if (!name || !value) return std::nullopt;
    fields.emplace_back(std::move(*name), std::move(*value));
  }
  return fields;
}

}  // namespace zepho

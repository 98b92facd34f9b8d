#include "oauth/base64.h"

#include <cstdint>

namespace zepho {

namespace {

constexpr char kStandard[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrl[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

std::string Encode(std::string_view bytes, const char* alphabet, bool pad) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16 |
                            std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8 |
                            static_cast<unsigned char>(bytes[i + 2]);
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    out += alphabet[(v >> 6) & 63];
    out += alphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest) {
    std::uint32_t v = std::uint32_t{static_cast<unsigned char>(bytes[i])} << 16;
    if (rest == 2) v |= std::uint32_t{static_cast<unsigned char>(bytes[i + 1])} << 8;
    out += alphabet[v >> 18];
    out += alphabet[(v >> 12) & 63];
    if (rest == 2) out += alphabet[(v >> 6) & 63];
    if (pad) out.append(rest == 1 ? "==" : "=");
  }
  return out;
}

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) { return Encode(bytes, kStandard, true); }

std::string Base64UrlEncode(std::string_view bytes) { return Encode(bytes, kUrl, false); }

std::optional<std::string> Base64Decode(std::string_view text) {
  if (text.size() % 4) return std::nullopt;
  std::size_t pad = 0;
  while (pad < 2 && pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;
  const std::string_view body = text.substr(0, text.size() - pad);
  std::string out;
  out.reserve(body.size() * 3 / 4);
  std::uint32_t acc = 0;
  int bits = 0;
  for (char c : body) {
    const int v = Value(c);
    if (v < 0) return std::nullopt;  // also a '=' inside
    acc = (acc << 6) | static_cast<std::uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>((acc >> bits) & 0xFF);
    }
  }
  // What is left over must be padding bits, all zero.
  if (acc & ((1u << bits) - 1)) return std::nullopt;
  return out;
}

}  // namespace zepho

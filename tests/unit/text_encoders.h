// Encoders the decoding tests build their inputs with, so that a case is
// written as the text it must come out as.
#pragma once

#include <string>
#include <string_view>

namespace zepho::test {

// UTF-16 to UTF-8 by the textbook rules (well-formed input only).
inline std::string Utf8(std::u16string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size())
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

inline std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[group >> 18];
    out += kDigits[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
  }
  return out;
}

// Q encoding: a blank as "_", letters and digits as they are, every other byte =XX.
inline std::string QEncode(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    if (b == ' ') {
      out += '_';
    } else if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) {
      out += ch;
    } else {
      out += '=';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

// An encoded-word of `bytes`: encoding 'B' or 'Q' (or any letter, as written).
inline std::string Word(std::string_view charset, char encoding, std::string_view bytes) {
  const bool base64 = encoding == 'B' || encoding == 'b';
  return "=?" + std::string(charset) + "?" + encoding + "?" +
         (base64 ? Base64(bytes) : QEncode(bytes)) + "?=";
}

}  // namespace zepho::test

// A small stand-in for the platform's code page 932 tables: ASCII, half-width
// katakana and a few double-byte characters. Like the platform it turns bytes
// that are no character into U+30FB and characters it lacks into "?".
#pragma once

#include <string>
#include <string_view>

#include "settings/cp932_codec.h"
#include "settings/ini_text.h"

namespace zepho::testing {

class TableCodec932 : public Cp932Codec {
 public:
  static const TableCodec932& Instance() {
    static const TableCodec932 codec;
    return codec;
  }

  std::u16string ToUtf16(std::string_view s) const override {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
      const std::size_t n = CharacterLength932(s, i);
      const unsigned b = static_cast<unsigned char>(s[i]);
      if (n == 1) {
        out.push_back(b < 0x80 ? static_cast<char16_t>(b)
                      : b >= 0xA1 && b <= 0xDF ? static_cast<char16_t>(0xFF61 + b - 0xA1)
                                               : u'\u30FB');
      } else {
        const unsigned code = (b << 8) | static_cast<unsigned char>(s[i + 1]);
        char16_t u = u'\u30FB';
        for (const Pair& p : kPairs)
          if (p.code == code) u = p.unit;
        out.push_back(u);
      }
      i += n;
    }
    return out;
  }

  std::string FromUtf16(std::u16string_view text) const override {
    std::string out;
    for (char16_t u : text) {
      if (u < 0x80) {
        out.push_back(static_cast<char>(u));
        continue;
      }
      if (u >= 0xFF61 && u <= 0xFF9F) {
        out.push_back(static_cast<char>(0xA1 + u - 0xFF61));
        continue;
      }
      bool found = false;
      for (const Pair& p : kPairs) {
        if (p.unit == u) {
          out.push_back(static_cast<char>(p.code >> 8));
          out.push_back(static_cast<char>(p.code & 0xFF));
          found = true;
          break;
        }
      }
      if (!found) out.push_back('?');
    }
    return out;
  }

 private:
  struct Pair {
    unsigned code;
    char16_t unit;
  };
  static constexpr Pair kPairs[] = {
      {0x8140, u'\u3000'},  // ideographic space
      {0x8145, u'\u30FB'},  // katakana middle dot
      {0x82A0, u'\u3042'},  // あ
      {0x82A2, u'\u3044'},  // い
      {0x8341, u'\u30A2'},  // ア
      {0x835C, u'\u30BD'},  // ソ
      {0x8E64, u'\u4ED5'},  // 仕
      {0x8E96, u'\u4E8B'},  // 事
      {0x955C, u'\u8868'},  // 表
      {0x8EA6, u'\u793A'},  // 示
  };
};

}  // namespace zepho::testing

#include "common/cp932_unicode.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zepho {
namespace {

// FNV-1a over 16-bit values, low byte first.
std::uint64_t Digest(char16_t (*value)(unsigned char, unsigned char)) {
  std::uint64_t h = 0xcbf29ce484222325u;
  for (unsigned a = 0; a < 256; ++a)
    for (unsigned b = 0; b < 256; ++b) {
      const char16_t v = value(static_cast<unsigned char>(a), static_cast<unsigned char>(b));
      for (const unsigned byte : {v & 0xFFu, unsigned{v} >> 8}) h = (h ^ byte) * 0x100000001b3u;
    }
  return h;
}

// The expected digests were computed once in Python over every byte pair:
//   pair(l, t) = ord(bytes([l, t]).decode("cp932")) when that is one character, else 0
// and, for JIS X 0208, row = j1 - 0x20, cell = j2 - 0x20 (both 1-94),
//   lead = (row + 1) // 2 + (0x80 if row <= 62 else 0xC0),
//   trail = 0x3F + cell if cell <= 63 else 0x40 + cell  (odd row);  0x9E + cell  (even row),
//   jis(j1, j2) = pair(lead, trail).
TEST(Cp932Unicode, EveryPairAsMicrosoftsTable) {
  EXPECT_EQ(Digest(Cp932Pair), 0xa38a44c6bf9cb8f0u);
  int mapped = 0;
  for (unsigned a = 0; a < 256; ++a)
    for (unsigned b = 0; b < 256; ++b)
      mapped += Cp932Pair(static_cast<unsigned char>(a), static_cast<unsigned char>(b)) != 0;
  EXPECT_EQ(mapped, 9604);
}

TEST(Cp932Unicode, EveryJisCodeThroughItsPair) {
  EXPECT_EQ(Digest(Jis0208Char), 0x51286fb3445310ccu);
}

TEST(Cp932Unicode, SingleBytes) {
  struct Case { unsigned char byte; char16_t expected; };
  const Case cases[] = {
      {0x00, 0x0000}, {0x41, u'A'}, {0x5C, u'\\'}, {0x7E, u'~'}, {0x7F, 0x007F},
      {0x80, 0x0080}, {0xA0, 0xF8F0}, {0xA1, u'｡'}, {0xB1, u'ｱ'}, {0xDF, u'ﾟ'},
      {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3},
      {0x81, 0}, {0x9F, 0}, {0xE0, 0}, {0xFC, 0},  // lead bytes
  };
  for (const Case& c : cases) EXPECT_EQ(Cp932SingleByte(c.byte), c.expected) << int{c.byte};
}

// The places where Windows' table differs from plain JIS, or that are easy to
// get wrong by a row or a trail-byte gap.
TEST(Cp932Unicode, PairsThatMatter) {
  struct Case { unsigned char lead, trail; char16_t expected; };
  const Case cases[] = {
      {0x81, 0x40, u'　'}, {0x81, 0x5F, u'＼'}, {0x81, 0x60, u'～'}, {0x81, 0x61, u'∥'},
      {0x81, 0x7C, u'－'}, {0x81, 0x7E, u'×'}, {0x81, 0x80, u'÷'}, {0x81, 0xCA, u'￢'},
      {0x87, 0x40, u'①'}, {0x87, 0x8A, u'㈱'}, {0x87, 0x54, u'Ⅰ'}, {0x87, 0x82, u'№'},  // NEC row 13
      {0xED, 0x40, u'纊'}, {0xEE, 0xEF, u'ⅰ'}, {0xEE, 0xFC, u'＂'},  // NEC-selected IBM
      {0xFA, 0x40, u'ⅰ'}, {0xFA, 0x4A, u'Ⅰ'}, {0xFC, 0x4B, u'黑'},   // IBM
      {0xF0, 0x40, 0xE000}, {0xF0, 0x80, 0xE03F}, {0xF9, 0xFC, 0xE757},  // user-defined
      {0x88, 0x9F, u'亜'}, {0x95, 0x5C, u'表'}, {0xEA, 0xA4, u'熙'},
      {0x81, 0x7F, 0}, {0x81, 0x3F, 0}, {0x81, 0xFD, 0}, {0x85, 0x40, 0}, {0xEB, 0x40, 0},
      {0x88, 0x40, 0}, {0xFC, 0x4C, 0}, {0xA1, 0x40, 0}, {0x41, 0x41, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Cp932Pair(c.lead, c.trail), c.expected) << std::hex << int{c.lead} << " " << int{c.trail};
}

TEST(Cp932Unicode, JisRowsAsWindowsReadsThem) {
  struct Case { unsigned char row, cell; char16_t expected; };
  const Case cases[] = {
      {0x21, 0x21, u'　'}, {0x21, 0x41, u'～'},  // ～ as code page 932 has it, not U+301C
      {0x30, 0x21, u'亜'}, {0x46, 0x7C, u'日'}, {0x4F, 0x53, u'腕'},
      {0x2D, 0x21, u'①'}, {0x2D, 0x6A, u'㈱'},  // NEC row 13
      {0x79, 0x21, u'纊'}, {0x7C, 0x71, u'ⅰ'}, {0x7C, 0x7E, u'＂'},  // IBM extensions, rows 89-92
      {0x7D, 0x21, 0}, {0x29, 0x21, 0}, {0x20, 0x21, 0}, {0x21, 0x7F, 0}, {0x7F, 0x21, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Jis0208Char(c.row, c.cell), c.expected) << std::hex << int{c.row} << " " << int{c.cell};
}

}  // namespace
}  // namespace zepho

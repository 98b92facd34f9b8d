#include "common/cp932_unicode.h"

#include <cstddef>

#include "common/cp932.h"

namespace zepho {

namespace {

#include "common/cp932_unicode_table.inc"

// Index of a trail byte among 0x40-0x7E, 0x80-0xFC, or kTrailCount for none.
std::size_t TrailIndex(unsigned char trail) {
  if (trail >= 0x40 && trail <= 0x7E) return trail - 0x40u;
  if (trail >= 0x80 && trail <= 0xFC) return trail - 0x41u;
  return kTrailCount;
}

}  // namespace

char16_t Cp932SingleByte(unsigned char b) {
  if (b < 0x80) return b;
  if (IsLeadByte932(b)) return 0;
  if (b >= 0xA1 && b <= 0xDF) return static_cast<char16_t>(0xFF61 + (b - 0xA1));  // half-width katakana
  switch (b) {
    case 0x80: return 0x0080;
    case 0xA0: return 0xF8F0;
    default: return static_cast<char16_t>(0xF8F1 + (b - 0xFD));  // 0xFD-0xFF
  }
}

char16_t Cp932Pair(unsigned char lead, unsigned char trail) {
  const std::size_t t = TrailIndex(trail);
  if (t == kTrailCount) return 0;
  if (lead >= 0xF0 && lead <= 0xF9)  // user-defined area, 188 characters a lead byte
    return static_cast<char16_t>(0xE000 + (lead - 0xF0) * kTrailCount + t);
  const unsigned char row = kPairRow[lead];
  return row == kNoRow ? 0 : kPairs[row][t];
}

char16_t Jis0208Char(unsigned char row_byte, unsigned char cell_byte) {
  if (row_byte < 0x21 || row_byte > 0x7E || cell_byte < 0x21 || cell_byte > 0x7E) return 0;
  // The usual JIS to Shift-JIS arithmetic: two rows share a lead byte.
  const unsigned lead = ((row_byte + 1u) >> 1) + (row_byte <= 0x5E ? 0x70u : 0xB0u);
  unsigned trail;
  if (row_byte & 1)
    trail = cell_byte + (cell_byte <= 0x5F ? 0x1Fu : 0x20u);
  else
    trail = cell_byte + 0x7Eu;
  return Cp932Pair(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
}

}  // namespace zepho

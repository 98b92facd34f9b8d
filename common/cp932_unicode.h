// Code page 932 and JIS X 0208 to Unicode, exactly as Windows maps them: the
// NEC row 13 symbols (0x87), the NEC-selected IBM extensions (0xED, 0xEE), the
// IBM extensions (0xFA-0xFC), the user-defined area (0xF0-0xF9 to U+E000-U+E757)
// and the single bytes 0x80, 0xA0, 0xFD-0xFF that Windows gives code points to.
#pragma once

namespace zepho {

// The character of a byte that stands alone (not a lead byte, see
// IsLeadByte932); 0 for a lead byte.
char16_t Cp932SingleByte(unsigned char b);

// The character of a double-byte pair, or 0 when code page 932 has none.
char16_t Cp932Pair(unsigned char lead, unsigned char trail);

// The character of a JIS X 0208 code (both bytes 0x21-0x7E) as Windows decodes
// ISO-2022-JP and EUC-JP: through its code page 932 pair, so the NEC row 13 and
// the IBM extensions in rows 89-92 come out as code page 932 has them. 0 when
// there is none.
char16_t Jis0208Char(unsigned char row_byte, unsigned char cell_byte);

}  // namespace zepho

// The text of a settings file as the document keeps it: 16-bit units, one per
// byte of a file in the ANSI code page, UTF-16 units of a file with a byte-order
// mark. Values pass between these units and the program's code page 932 bytes
// without loss: a byte that is no text of the code page is kept in a UTF file as
// a lone surrogate U+DC80-U+DCFF (in UTF-8 in the three bytes of a surrogate),
// and so is a byte of a UTF-8 file that is no UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/cp932_codec.h"

namespace zepho {

enum class IniEncoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

struct IniText {
  IniEncoding encoding = IniEncoding::kAnsi;
  std::u16string units;  // the text after the byte-order mark
};

// The encoding is told by the byte-order mark, as the platform tells it: without
// one the file is in the ANSI code page. Invalid UTF-8 keeps its bytes as escapes;
// an odd last byte of a UTF-16 file is read as if a zero byte followed.
IniText DecodeIniText(std::string_view file);
// The file for `units`, with the byte-order mark of `encoding`.
std::string EncodeIniText(IniEncoding encoding, std::u16string_view units);
// The bytes that `units` take in the file (no byte-order mark).
std::size_t EncodedSize(IniEncoding encoding, std::u16string_view units);
std::size_t MarkSize(IniEncoding encoding);

// Code page 932 bytes to the document's units and back; Cp932FromUnits(UnitsFrom932(x)) == x.
std::u16string UnitsFrom932(std::string_view cp932, IniEncoding encoding, const Cp932Codec& codec);
std::string Cp932FromUnits(std::u16string_view units, IniEncoding encoding, const Cp932Codec& codec);

// True for a byte that may follow a lead byte in a double-byte character.
constexpr bool IsTrailByte932(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
// The length of the code page 932 character at `i`: 2 for a lead byte followed
// by a trail byte, else 1.
std::size_t CharacterLength932(std::u16string_view units, std::size_t i);
std::size_t CharacterLength932(std::string_view bytes, std::size_t i);

}  // namespace zepho

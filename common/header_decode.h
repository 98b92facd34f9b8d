// A header field value as text to show: MIME encoded-words (RFC 2047) decoded,
// raw 8-bit bytes read as UTF-8 or code page 932.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zepho {

// The longest text DecodeHeaderValue gives, in UTF-16 code units. It never
// gives more units than the value has bytes either.
inline constexpr std::size_t kMaxDecodedUnits = 2048;

// The text of an (unfolded) header field value:
// - encoded-words "=?charset?B?...?=" and "=?charset?Q?...?=" are decoded
//   wherever they stand; the blanks between two adjacent words are dropped, and
//   the bytes of adjacent words of one charset are decoded together, so a
//   character cut between two words comes out whole;
// - a word that is malformed or of a charset we cannot read stands as it is;
// - the text outside the words is read as UTF-8 when the value is valid UTF-8,
//   else as code page 932; 7-bit text with ISO-2022-JP escapes as ISO-2022-JP;
// - bytes invalid in their charset become U+FFFD; tab, CR and LF become a
//   blank and every other control character (NUL included) U+FFFD, so the text
//   is one line.
std::u16string DecodeHeaderValue(std::string_view value);

}  // namespace zepho

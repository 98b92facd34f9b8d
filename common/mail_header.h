// Header fields read from the bytes of a "TOP n 0" reply.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

namespace zepho {

// The longest field value kept, in bytes; the rest of a longer one is dropped.
inline constexpr std::size_t kMaxHeaderValueBytes = 2048;

// The most names ReadHeaderFields takes at once.
inline constexpr std::size_t kMaxHeaderNames = 32;

// The value of the first field named `name` (ASCII, any letter case) in the
// header of a TOP reply: the "+OK" line is skipped, lines end with CR LF or a
// bare LF, and the header ends at the empty line, at the "." line or with the
// bytes. The value is unfolded (a line break before a blank or tab is
// removed), trimmed of blanks and tabs at both ends and cut to
// kMaxHeaderValueBytes. Empty when there is no such field. Bytes are taken as
// they are: a NUL is an ordinary byte here.
std::string HeaderFieldValue(std::string_view reply, std::string_view name);

// The same for several names in one pass: values[i] is the value of names[i].
// At most kMaxHeaderNames names; values has as many elements as names.
void ReadHeaderFields(std::string_view reply, std::span<const std::string_view> names,
                      std::span<std::string> values);

}  // namespace zepho

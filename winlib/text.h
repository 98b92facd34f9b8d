// Conversions at the boundary between the program's code page 932 data and the
// wide (UTF-16) API. Code page 932 is named explicitly, never the ANSI code page,
// so Japanese texts are right on a Windows of any locale.
#pragma once

#include <string>
#include <string_view>

namespace winlib {

std::wstring Wide932(std::string_view bytes);
std::string Narrow932(std::wstring_view text);
// A path in the ANSI code page, for the functions that exist only in that form.
std::string AnsiPath(std::string_view path932);

}  // namespace winlib

// Conversions at the boundary between the program's code page 932 data and the
// wide (UTF-16) API. Code page 932 is named explicitly, never the ANSI code page,
// so Japanese texts are right on a Windows of any locale. Paths never pass
// through either: they stay UTF-16 from the call that yields them to the one
// that opens the file.
#pragma once

#include <string>
#include <string_view>

namespace winlib {

std::wstring Wide932(std::string_view bytes);
std::string Narrow932(std::wstring_view text);

// Code page 932 with "?" for every character it cannot hold (no look-alikes:
// "é" is "?", not "e"). "?" never occurs in a file name, so the loss shows.
std::string Stored932(std::wstring_view text);

// The ANSI code page conversions that the A functions make. A value handed to
// a W function through these reaches the file as the same bytes that the A
// function would have written, on a Windows of any locale.
std::wstring WideAnsi(std::string_view bytes);
std::string NarrowAnsi(std::wstring_view text);

}  // namespace winlib

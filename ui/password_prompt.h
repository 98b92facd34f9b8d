// The password prompt (TForm3), shown modally: Enter with a password returns
// it; Escape gives up.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace zepho::ui {

// The password typed, in code page 932, or nullopt when the user gave up.
std::optional<std::string> ShowPasswordPrompt(HINSTANCE instance, HWND owner, HICON small_icon);

}  // namespace zepho::ui

// The version window, shown modally.
#pragma once

#include <windows.h>

namespace zepho::ui {

void ShowVersionWindow(HINSTANCE instance, HWND owner, HICON small_icon);

}  // namespace zepho::ui

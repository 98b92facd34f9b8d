// The message boxes the windows share.
#pragma once

#include <windows.h>

#include <exception>

#include "settings/settings_file.h"

namespace zepho::ui {

// "<path> に書き込めません".
void ShowWriteErrorBox(HWND owner, const SettingsWriteError& error);

// An error that ended a handler: a failed settings write in its own words,
// anything else (no memory, say) with its own text.
void ShowErrorBox(HWND owner, const std::exception& error);

}  // namespace zepho::ui

// The check-address editor (TForm2), shown modally: a header to check and an
// address to look for in it.
#pragma once

#include <windows.h>

#include "ui/settings_form.h"

namespace zepho::ui {

// `fields` in: the entry to show (empty for a new one). Out: the entry as the
// user confirmed it with OK, or both empty when cancelled.
void ShowCheckAddressEditor(HINSTANCE instance, HWND owner, HICON small_icon,
                            CheckAddressFields& fields);

}  // namespace zepho::ui

// The password prompt: Enter with a password stores it, saves the settings and
// starts a check; Escape gives up with no password.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace zepho::ui {

struct PasswordPromptActions {
  std::function<void(const std::string& password932)> accept;  // store, save, start a check
  std::function<void()> give_up;                               // leave the password empty
};

void ShowPasswordPrompt(HINSTANCE instance, HWND owner, HICON small_icon,
                        const PasswordPromptActions& actions);

}  // namespace zepho::ui

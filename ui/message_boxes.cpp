#include "ui/message_boxes.h"

#include <string>

#include "ui/texts.h"
#include "winlib/dialog.h"

namespace zepho::ui {

void ShowWriteErrorBox(HWND owner, const SettingsWriteError& error) {
  const std::wstring text = error.path() + texts::kCannotWrite;
  MessageBoxW(owner, text.c_str(), texts::kCaption, MB_OK | MB_ICONERROR);
}

void ShowErrorBox(HWND owner, const std::exception& error) {
  if (const auto* write = dynamic_cast<const SettingsWriteError*>(&error))
    ShowWriteErrorBox(owner, *write);
  else
    winlib::ShowErrorBox(owner, error);
}

}  // namespace zepho::ui

#include "app/message_boxes_win32.h"

#include "app/texts_win32.h"
#include "ui/message_boxes.h"

namespace zepho {

void MessageBoxesWin32::InfoBox(Notice notice) {
  MessageBoxW(owner_, texts::NoticeText(notice), texts::kCaption, MB_OK);
}

bool MessageBoxesWin32::ConfirmBox(Notice notice) {
  return MessageBoxW(owner_, texts::NoticeText(notice), texts::kCaption, MB_OKCANCEL) == IDOK;
}

void MessageBoxesWin32::TlsFailureBox(const std::string& server, const TlsFailure& failure) {
  MessageBoxW(owner_, texts::TlsFailureText(server, failure).c_str(), texts::kCaption, MB_OK);
}

void MessageBoxesWin32::WriteErrorBox(const SettingsWriteError& error) {
  ui::ShowWriteErrorBox(owner_, error);
}

}  // namespace zepho

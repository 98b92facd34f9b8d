// The tray icon's menu: version, settings, the mail client's operations,
// check now and the last check's results, pause or resume, exit. It opens
// only when asked (ShowTrayMenu).
#pragma once

#include <windows.h>

#include <functional>

#include "winlib/handles.h"

namespace zepho {

class TrayMenu {
 public:
  // The items' command numbers, named after the items.
  enum class Command : UINT {
    None = 0,
    K5 = 1,      // "バージョン情報"
    K1,          // "設定"
    KTaskTray1,  // "TaskTrayへ"
    K2,          // "アイコン化"
    K3,          // "ポップアップ"
    K4,          // "メールの受信"
    K6mStop,     // "メールチェック休止" / "メールチェック再開"
    KZEPHO1,     // "ZEPHO終了"
    KCheckNow,   // "今すぐチェック"
    KResults,    // "チェック結果"
  };
  // Separators and the submenu included.
  static constexpr int kTopLevelItems = 10;

  TrayMenu();

  // Opens the menu at the cursor, its top-level items enabled exactly when
  // `enabled`; `pump` handles the waiting messages just before it opens.
  // Returns the item chosen, or None.
  Command Show(HWND window, bool enabled, const std::function<void()>& pump);

  // The pause item: its caption, and its check mark while paused.
  void ShowPaused(bool paused);

  HMENU handle() const { return menu_.get(); }

 private:
  winlib::UniqueMenu menu_;  // PopupMenu1
};

}  // namespace zepho

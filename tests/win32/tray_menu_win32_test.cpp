// The tray menu as the program builds it: its top-level items in their order,
// read back from the menu itself (Wine reads menus in their own process only).
#include "app/tray_menu_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zepho {
namespace {

std::vector<std::wstring> TopLevel(HMENU menu) {
  std::vector<std::wstring> items;
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    if (info.fType & MFT_SEPARATOR) {
      items.push_back(L"-");
      continue;
    }
    wchar_t text[128] = L"";
    GetMenuStringW(menu, static_cast<UINT>(i), text, 128, MF_BYPOSITION);
    items.push_back(text);
  }
  return items;
}

TEST(TrayMenuWin32, TopLevelItemsInTheirOrder) {
  TrayMenu menu;
  const std::vector<std::wstring> want = {
      L"バージョン情報", L"設定", L"-", L"Corvel操作", L"-", L"今すぐチェック", L"チェック結果",
      L"-", L"メールチェック休止", L"ZEPHO終了"};
  EXPECT_EQ(TopLevel(menu.handle()), want);
  EXPECT_EQ(static_cast<int>(want.size()), TrayMenu::kTopLevelItems);
  // The new items carry their commands.
  EXPECT_EQ(GetMenuItemID(menu.handle(), 5), static_cast<UINT>(TrayMenu::Command::KCheckNow));
  EXPECT_EQ(GetMenuItemID(menu.handle(), 6), static_cast<UINT>(TrayMenu::Command::KResults));
  menu.ShowPaused(true);
  EXPECT_EQ(TopLevel(menu.handle())[8], L"メールチェック再開");
}

}  // namespace
}  // namespace zepho

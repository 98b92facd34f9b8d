#include "ui/results_window.h"

#include <commctrl.h>

#include <cstring>

#include "resources/resource.h"
#include "ui/results_texts.h"

namespace zepho::ui {

namespace {

// UTF-16 either way: char16_t for the portable model, wchar_t for the API.
const wchar_t* W(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

}  // namespace

bool ResultsWindow::Open(HWND owner, HICON small_icon, const CheckReport& report) {
  icon_ = small_icon;
  if (!Handle() && !Create(instance_, IDD_RESULTS, owner)) return false;
  Fill(report);
  ShowWindow(Handle(), IsIconic(Handle()) ? SW_RESTORE : SW_SHOW);
  SetForegroundWindow(Handle());
  return true;
}

void ResultsWindow::Update(const CheckReport& report) {
  if (IsOpen()) Fill(report);
}

bool ResultsWindow::OnInit() {
  SetSmallIcon(icon_);
  const HWND list = Item(IDC_RS_LIST);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  for (int i = 0; i < static_cast<int>(kResultColumns); ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    c.fmt = i == 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
    c.pszText = const_cast<wchar_t*>(W(results_texts::kColumns[i]));
    c.cx = results_texts::kColumnWidths[i];
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
  }
  return true;
}

bool ResultsWindow::OnCommand(int id, int code) {
  switch (id) {
    case IDC_RS_COPY:
      if (code == BN_CLICKED) CopyToClipboard();
      return true;
    case IDC_RS_CLOSE:
    case IDCANCEL:  // Escape, the close box
      ShowWindow(Handle(), SW_HIDE);
      return true;
  }
  return false;
}

void ResultsWindow::Fill(const CheckReport& report) {
  status_ = StatusLine(report);
  rows_ = ResultRows(report);
  SetDlgItemTextW(Handle(), IDC_RS_STATUS, W(status_));

  const HWND list = Item(IDC_RS_LIST);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(r);
    item.pszText = const_cast<wchar_t*>(W(rows_[r][0]));
    const int index =
        static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (index < 0) break;
    for (std::size_t c = 1; c < kResultColumns; ++c) {
      LVITEMW cell{};
      cell.iSubItem = static_cast<int>(c);
      cell.pszText = const_cast<wchar_t*>(W(rows_[r][c]));
      SendMessageW(list, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&cell));
    }
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void ResultsWindow::CopyToClipboard() const {
  const std::u16string text = CopyText(status_, rows_);
  const std::size_t bytes = (text.size() + 1) * sizeof(char16_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  if (!memory) return;
  void* p = GlobalLock(memory);
  if (p) {
    std::memcpy(p, text.c_str(), bytes);
    GlobalUnlock(memory);
  }
  if (!p || !OpenClipboard(Handle())) {
    GlobalFree(memory);
    return;
  }
  EmptyClipboard();
  // The clipboard owns the memory once it took it.
  if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
  CloseClipboard();
}

}  // namespace zepho::ui

#include "ui/settings_window.h"

#include <commctrl.h>

#include "ui/texts.h"
#include "resources/resource.h"
#include "ui/check_address_editor.h"
#include "ui/message_boxes.h"
#include "winlib/text.h"

namespace zepho::ui {

namespace {

int IdOf(FormEdit e) {
  switch (e) {
    case FormEdit::PopAdress: return IDC_POPADRESS;
    case FormEdit::PopPort: return IDC_POPPORT;
    case FormEdit::PopAcount: return IDC_POPACOUNT;
    case FormEdit::PopTime: return IDC_POPTIME;
    case FormEdit::PassEdit: return IDC_PASSEDIT;
  }
  return 0;
}

int IdOf(FormCheck c) {
  switch (c) {
    case FormCheck::CheckBox1: return IDC_CHECKBOX1;
    case FormCheck::CheckBox2: return IDC_CHECKBOX2;
    case FormCheck::CheckBox3: return IDC_CHECKBOX3;
    case FormCheck::AllIconCheck: return IDC_ALLICONCHECK;
    case FormCheck::TCheckRecvDo: return IDC_TCHECKRECVDO;
    case FormCheck::CheckInboxMove: return IDC_CHECKINBOXMOVE;
    case FormCheck::CheckNozari: return IDC_CHECKNOZARI;
    case FormCheck::CheckApop: return IDC_CHECKAPOP;
    case FormCheck::CheckBalloon: return IDC_CHECKBALLOON;
  }
  return 0;
}

int IdOf(FormButton b) {
  return b == FormButton::chkNewButton ? IDC_CHKNEWBUTTON : IDC_ACCOUNTRELOAD;
}

// The controls of each tab lie in one range of numbers.
constexpr int kFirstPageControl = IDC_GROUPBOX2;
constexpr int kLastPageControl = IDC_CHECKBALLOON;
int PageOf(int id) { return id < IDC_GROUPBOX1 ? 0 : id < IDC_GROUPBOX4 ? 1 : 2; }

// A click on an interval arrow, handled once the up-down control has finished
// with the button press (wParam: 1 up, 0 down).
constexpr UINT kStepInterval = WM_APP + 1;

HFONT MakeFont(int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH,
                     L"ＭＳ Ｐゴシック");
}

}  // namespace

bool SettingsWindow::Create(HWND owner, SettingsForm& form, SettingsWindowEvents& events) {
  form_ = &form;
  events_ = &events;
  return Dialog::Create(instance_, IDD_MAIN, owner);
}

bool SettingsWindow::OnInit() {
  const HWND tabs = Item(IDC_PAGECONTROL);
  const wchar_t* names[] = {texts::kTabConnection, texts::kTabCheckAddress, texts::kTabOther};
  for (int i = 0; i < 3; ++i) {
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<wchar_t*>(names[i]);
    SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  // Opens on the check addresses the first time; the window is kept, so later
  // it opens on whichever tab was shown last.
  SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
  ShowPage(1);
  SendMessageW(Item(IDC_POPTIME), EM_LIMITTEXT, 2, 0);
  SendMessageW(Item(IDC_UPDOWN1), UDM_SETRANGE32, 1, 99);
  for (const wchar_t* choice : texts::kTlsChoices)
    SendMessageW(Item(IDC_COMBOTLS), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice));
  SetupList();
  SetupTooltip();
  SetupFonts();
  SetFocus(Item(IDC_OKBUTTON));
  return false;  // the focus was set here
}

void SettingsWindow::OnError(const std::exception& e) {
  // As every error of the program, in a box owned by the application window.
  ShowErrorBox(GetWindow(Handle(), GW_OWNER), e);
}

bool SettingsWindow::OnMessage(UINT msg, WPARAM wparam, LPARAM, INT_PTR& result) {
  if (msg == kStepInterval) {
    form_->UpDown1Click(wparam != 0);
    return true;
  }
  if (msg != WM_CLOSE) return false;
  events_->CloseBoxClick();
  result = TRUE;
  return true;
}

void SettingsWindow::ShowPage(int page) {
  for (int id = kFirstPageControl; id <= kLastPageControl; ++id)
    if (const HWND h = Item(id)) ShowWindow(h, PageOf(id) == page ? SW_SHOW : SW_HIDE);
}

void SettingsWindow::SetupList() {
  const HWND list = Item(IDC_LISTVIEW1);
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  const std::pair<const wchar_t*, int> columns[] = {{texts::kColumnHeader, 100},
                                                    {texts::kColumnAddress, 215}};
  for (int i = 0; i < 2; ++i) {
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH;
    c.pszText = const_cast<wchar_t*>(columns[i].first);
    c.cx = columns[i].second;
    SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
  }
  SetWindowSubclass(list, ListProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

void SettingsWindow::SetupTooltip() {
  tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Handle(), nullptr,
                             instance_, nullptr);
  TOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = Handle();
  tool.uId = reinterpret_cast<UINT_PTR>(Item(IDC_LABEL4));
  tool.lpszText = const_cast<wchar_t*>(texts::kIntervalHint);
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SettingsWindow::SetupFonts() {
  font13_.reset(MakeFont(13));
  font15_.reset(MakeFont(15));
  SendMessageW(Item(IDC_LABEL6), WM_SETFONT, reinterpret_cast<WPARAM>(font13_.get()), FALSE);
  for (int id : {IDC_CHKNEWBUTTON, IDC_CHKMODBUTTON, IDC_CHKDELBUTTON})
    SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(font15_.get()), FALSE);
}

bool SettingsWindow::OnCommand(int id, int code) {
  switch (id) {
    case IDC_OKBUTTON: events_->OKButtonClick(); return true;
    case IDC_CANBUTTON: events_->CANButtonClick(); return true;
    case IDC_VERBTN: events_->VerBtnClick(); return true;
    case IDC_ZEPHOENDBTN: events_->ZephoEndBtnClick(); return true;
    case IDCANCEL: events_->OnEscape(); return true;
  }
  if (id == IDC_COMBOACCOUNT) {
    if (code == CBN_SELCHANGE) form_->ComboAccountChange();
    return true;
  }
  if (id == IDC_COMBOTLS) {
    if (code == CBN_SELCHANGE) form_->ComboTlsChange();
    return true;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_CHKNEWBUTTON: form_->chkNewButtonClick(); return true;
    case IDC_CHKMODBUTTON: form_->chkModButtonClick(); return true;
    case IDC_CHKDELBUTTON: form_->chkDelButtonClick(); return true;
    case IDC_CHECKBOX3: form_->CheckBox3Click(); return true;
    case IDC_TCHECKRECVDO: form_->TCheckRecvDoClick(); return true;
    case IDC_ACCOUNTRELOAD: form_->AccountReloadClick(); return true;
  }
  return false;
}

bool SettingsWindow::OnNotify(const NMHDR& hdr, LPARAM lparam) {
  switch (hdr.idFrom) {
    case IDC_PAGECONTROL:
      if (hdr.code != TCN_SELCHANGE) return false;
      ShowPage(static_cast<int>(SendMessageW(hdr.hwndFrom, TCM_GETCURSEL, 0, 0)));
      return true;
    case IDC_UPDOWN1:
      if (hdr.code != UDN_DELTAPOS) return false;
      // The control asks in the middle of its button press: it takes the mouse
      // and starts its auto-repeat only after this returns. A message box shown
      // here would swallow the release, and the repeat would show it again, so
      // the step is taken once the press has been set up (NotAnInteger ends it).
      PostMessageW(Handle(), kStepInterval,
                   reinterpret_cast<const NMUPDOWN*>(lparam)->iDelta > 0 ? 1 : 0, 0);
      // The arrows' own position is not used: it stays where Fill put it, and
      // every click reaches the handler, also at the ends of the range.
      SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
      return true;
    case IDC_LISTVIEW1:
      if (hdr.code != NM_DBLCLK) return false;
      form_->ListView1DblClick();
      return true;
  }
  return false;
}

LRESULT CALLBACK SettingsWindow::ListProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR /*id*/, DWORD_PTR self) {
  auto* window = reinterpret_cast<SettingsWindow*>(self);
  switch (msg) {
    case WM_GETDLGCODE:
      // Enter belongs to the list (it edits the selected entry), not to the dialog.
      if (wparam == VK_RETURN) return DLGC_WANTALLKEYS | DefSubclassProc(hwnd, msg, wparam, lparam);
      break;
    case WM_KEYDOWN:
      if (wparam == VK_RETURN) {
        window->form_->ListView1KeyDown(13);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wparam == L'\r') return 0;
      break;
  }
  return DefSubclassProc(hwnd, msg, wparam, lparam);
}

std::string SettingsWindow::Text(FormEdit edit) {
  return winlib::Narrow932(ItemText(IdOf(edit)));
}

void SettingsWindow::SetText(FormEdit edit, const std::string& text) {
  SetWindowTextW(Item(IdOf(edit)), winlib::Wide932(text).c_str());
}

bool SettingsWindow::Checked(FormCheck box) {
  return SendMessageW(Item(IdOf(box)), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SettingsWindow::SetChecked(FormCheck box, bool checked) {
  SendMessageW(Item(IdOf(box)), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void SettingsWindow::SetEnabled(FormCheck box, bool enabled) {
  EnableWindow(Item(IdOf(box)), enabled);
}

void SettingsWindow::SetEnabled(FormButton button, bool enabled) {
  EnableWindow(Item(IdOf(button)), enabled);
}

void SettingsWindow::ShowConnectionTab() {
  SendMessageW(Item(IDC_PAGECONTROL), TCM_SETCURSEL, 0, 0);
  ShowPage(0);
}

void SettingsWindow::Focus(FormEdit edit) { FocusControl(IdOf(edit)); }

void SettingsWindow::FocusList() { FocusControl(IDC_LISTVIEW1); }

void SettingsWindow::SetUpDownPosition(std::int32_t position) {
  SendMessageW(Item(IDC_UPDOWN1), UDM_SETPOS32, 0, position);
}

std::int32_t SettingsWindow::TlsChoice() {
  const auto index = SendMessageW(Item(IDC_COMBOTLS), CB_GETCURSEL, 0, 0);
  return index == kTlsStls || index == kTlsImplicit ? static_cast<std::int32_t>(index) : kTlsNone;
}

void SettingsWindow::SetTlsChoice(std::int32_t choice) {
  // The items stand in the order of the stored values.
  SendMessageW(Item(IDC_COMBOTLS), CB_SETCURSEL, static_cast<WPARAM>(choice), 0);
}

void SettingsWindow::SetAccountItems(const std::vector<std::string>& titles) {
  const HWND combo = Item(IDC_COMBOACCOUNT);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& title : titles)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(winlib::Wide932(title).c_str()));
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void SettingsWindow::SelectAccount(int index) {
  SendMessageW(Item(IDC_COMBOACCOUNT), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int SettingsWindow::SelectedAccount() {
  return static_cast<int>(SendMessageW(Item(IDC_COMBOACCOUNT), CB_GETCURSEL, 0, 0));
}

bool SettingsWindow::SameTitle(const std::string& a, const std::string& b) {
  const std::wstring wa = winlib::Wide932(a), wb = winlib::Wide932(b);
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wa.c_str(),
                        static_cast<int>(wa.size()), wb.c_str(),
                        static_cast<int>(wb.size())) == CSTR_EQUAL;
}

void SettingsWindow::ClearList() { SendMessageW(Item(IDC_LISTVIEW1), LVM_DELETEALLITEMS, 0, 0); }

void SettingsWindow::AddListItem(const CheckAddress& entry) {
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.iItem = ListCount();
  const std::wstring header = winlib::Wide932(entry.header);
  item.pszText = const_cast<wchar_t*>(header.c_str());
  const int index = static_cast<int>(
      SendMessageW(Item(IDC_LISTVIEW1), LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  if (index >= 0) SetListItem(index, entry);
}

void SettingsWindow::SetListItem(int index, const CheckAddress& entry) {
  const std::wstring header = winlib::Wide932(entry.header);
  const std::wstring address = winlib::Wide932(entry.address);
  LVITEMW item{};
  item.iSubItem = 0;
  item.pszText = const_cast<wchar_t*>(header.c_str());
  SendMessageW(Item(IDC_LISTVIEW1), LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
  item.iSubItem = 1;
  item.pszText = const_cast<wchar_t*>(address.c_str());
  SendMessageW(Item(IDC_LISTVIEW1), LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&item));
}

void SettingsWindow::DeleteListItem(int index) {
  SendMessageW(Item(IDC_LISTVIEW1), LVM_DELETEITEM, index, 0);
}

int SettingsWindow::ListCount() {
  return static_cast<int>(SendMessageW(Item(IDC_LISTVIEW1), LVM_GETITEMCOUNT, 0, 0));
}

CheckAddress SettingsWindow::ListItem(int index) {
  CheckAddress entry;
  std::wstring buffer(2048, L'\0');  // a stored value has at most 1023 bytes
  LVITEMW item{};
  item.pszText = buffer.data();
  item.cchTextMax = static_cast<int>(buffer.size());
  for (int sub = 0; sub < 2; ++sub) {
    item.iSubItem = sub;
    const auto n = static_cast<size_t>(SendMessageW(Item(IDC_LISTVIEW1), LVM_GETITEMTEXTW, index,
                                                    reinterpret_cast<LPARAM>(&item)));
    const std::string text = winlib::Narrow932(std::wstring_view(buffer.data(), n));
    (sub == 0 ? entry.header : entry.address) = text;
  }
  return entry;
}

int SettingsWindow::SelectedListItem() {
  return static_cast<int>(SendMessageW(Item(IDC_LISTVIEW1), LVM_GETNEXTITEM,
                                       static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SettingsWindow::InfoBox(FormMessage message) {
  MessageBoxW(Handle(), texts::FormMessageText(message), texts::kCaption, MB_OK);
}

void SettingsWindow::NotAnInteger(const std::string& text) {
  // An arrow still held (the box comes from a click on it) lets go first: its
  // auto-repeat would otherwise step again, and show the box again, once the
  // box has closed, since the button's release goes to the box.
  const HWND arrows = Item(IDC_UPDOWN1);
  SendMessageW(arrows, WM_CANCELMODE, 0, 0);
  if (GetCapture() == arrows) ReleaseCapture();
  const std::wstring message = L"'" + winlib::Wide932(text) + texts::kNotAnInteger;
  MessageBoxW(Handle(), message.c_str(), texts::kCaption, MB_OK | MB_ICONERROR);
}

void SettingsWindow::ShowCheckAddressEditor(CheckAddressFields& fields) {
  // The editor shows the settings window's own small icon (the application's).
  const auto icon = reinterpret_cast<HICON>(SendMessageW(Handle(), WM_GETICON, ICON_SMALL, 0));
  ui::ShowCheckAddressEditor(instance_, Handle(), icon, fields);
}

}  // namespace zepho::ui

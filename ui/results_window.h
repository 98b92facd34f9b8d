// The results window "ZEPHO - チェック結果": the status line and the rows of the
// last check, "コピー" and "閉じる". Modeless: it may stay open while checks
// run, and then shows each new report.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "pop3/check_report.h"
#include "ui/results_form.h"
#include "winlib/dialog.h"

namespace zepho::ui {

class ResultsWindow : public winlib::Dialog {
 public:
  explicit ResultsWindow(HINSTANCE instance) : instance_(instance) {}

  // Shows the window with `report` in front, creating it the first time.
  // False when it cannot be created.
  bool Open(HWND owner, HICON small_icon, const CheckReport& report);
  // A new report: shown at once while the window is open.
  void Update(const CheckReport& report);
  bool IsOpen() const { return Handle() && IsWindowVisible(Handle()); }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  void Fill(const CheckReport& report);
  void CopyToClipboard() const;

  HINSTANCE instance_;
  HICON icon_ = nullptr;
  // What is shown, as shown: "コピー" copies exactly this.
  std::u16string status_;
  std::vector<ResultRow> rows_;
};

}  // namespace zepho::ui

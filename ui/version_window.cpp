#include "ui/version_window.h"

#include "resources/resource.h"
#include "winlib/dialog.h"

namespace zepho::ui {

namespace {

class VersionWindow : public winlib::Dialog {
 public:
  explicit VersionWindow(HICON icon) : icon_(icon) {}

 private:
  bool OnInit() override {
    SetSmallIcon(icon_);
    return true;
  }
  bool OnCommand(int id, int /*code*/) override {
    if (id != IDOK && id != IDCANCEL) return false;  // OK, Escape
    End(id);
    return true;
  }

  HICON icon_;
};

}  // namespace

void ShowVersionWindow(HINSTANCE instance, HWND owner, HICON small_icon) {
  VersionWindow(small_icon).RunModal(instance, IDD_VERSION, owner);
}

}  // namespace zepho::ui

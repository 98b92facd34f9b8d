// A window system in memory, with a clock that only sleeps and waits move.
// Windows behave like the mail client and NOZARI as far as the drive sequences
// can see: the tray window's double-click notification shows the main window,
// the tray command hides it, a hung window never answers. Every sleep,
// foreground change and message sent is written to `trace`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/cp932.h"
#include "companion/companion_driver.h"
#include "companion/window_system.h"

namespace zepho {

class FakeWindowSystem : public WindowSystem {
 public:
  static constexpr std::uint32_t kNever = 0xFFFFFFFFu;

  struct Item {
    Item(std::string t, std::uint32_t grey = 0, bool g = false)
        : text(std::move(t)), grey_until(grey), gone(g) {}
    std::string text;
    std::uint32_t grey_until;  // greyed while the clock is before this
    bool gone;                 // its state reads as "no such item"
  };
  struct Window {
    std::string name;  // how the trace calls it
    std::string title, cls;
    std::uint32_t visible_from = 0;  // kNever: hidden
    std::uint32_t gone_at = kNever;  // the window is destroyed at this time
    bool hung = false;
    bool has_menu_bar = false;
    int item_count_override = 0;  // -1: the item count is unavailable
    std::vector<std::vector<Item>> menus;
    std::uint32_t show_after_restore = 200;  // tray window: the main window shows this much later

    Window& Hidden() {
      visible_from = kNever;
      return *this;
    }
    Window& GoneAt(std::uint32_t t) {
      gone_at = t;
      return *this;
    }
  };
  static Window Win(std::string name, std::string title, std::string cls) {
    Window w;
    w.name = std::move(name);
    w.title = std::move(title);
    w.cls = std::move(cls);
    return w;
  }

  std::vector<Window> windows;  // in enumeration order; WindowId = index + 1
  std::vector<std::string> trace;
  std::vector<std::uint32_t> trace_time;
  std::uint32_t now = 0;
  int pumps = 0;
  std::function<void()> on_pump;  // messages handled while the sequence waits

  std::size_t Add(Window w) {
    windows.push_back(std::move(w));
    return windows.size();
  }
  Window& At(WindowId id) { return windows.at(id - 1); }
  WindowId Named(const std::string& name) {
    for (std::size_t i = 0; i < windows.size(); ++i)
      if (windows[i].name == name) return i + 1;
    return 0;
  }

  void EnumerateWindows(const std::function<bool(WindowId)>& visit) override {
    for (std::size_t i = 0; i < windows.size(); ++i)
      if (Exists(i + 1) && !visit(i + 1)) return;
  }
  std::string WindowTitle(WindowId w, std::size_t buffer) override {
    return Exists(w) ? CutAt932(At(w).title, buffer - 1) : "";
  }
  std::string ClassName(WindowId w, std::size_t buffer) override {
    return Exists(w) ? CutAt932(At(w).cls, buffer - 1) : "";
  }
  WindowId FindByClass(const std::string& c) override {
    for (std::size_t i = 0; i < windows.size(); ++i)
      if (Exists(i + 1) && windows[i].cls == c) return i + 1;
    return 0;
  }
  WindowId FindByTitle(const std::string& t) override {
    for (std::size_t i = 0; i < windows.size(); ++i)
      if (Exists(i + 1) && windows[i].title == t) return i + 1;
    return 0;
  }
  bool Exists(WindowId w) override {
    return w >= 1 && w <= windows.size() && now < At(w).gone_at;
  }
  bool Visible(WindowId w) override {
    return Exists(w) && At(w).visible_from != kNever && now >= At(w).visible_from;
  }
  void SetForeground(WindowId w) override { Record("fg " + NameOf(w)); }

  bool Send(WindowId w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam,
            std::uint32_t bound_ms) override {
    std::string what = "send " + NameOf(w) + " " + MessageName(message, wparam, lparam);
    if (!Exists(w)) {
      Record(what + " (no window)");
      return false;
    }
    if (At(w).hung) {
      Record(what + " (timed out)");
      now += bound_ms;
      return false;
    }
    Record(what);
    Window& win = At(w);
    if (message == companion::kTrayNotifyMessage) {
      for (Window& other : windows)
        if (OccursIn(companion::kMainClassPart, other.cls) && other.visible_from == kNever)
          other.visible_from = now + win.show_after_restore;
    } else if (message == companion::kWmCommand && wparam == companion::kToTrayCommand) {
      win.visible_from = kNever;
    }
    return true;
  }

  MenuId MenuBar(WindowId w) override {
    return Exists(w) && At(w).has_menu_bar ? 1000 * w : 0;
  }
  MenuId SubMenu(MenuId menu, int position) override {
    if (menu == 0 || menu % 1000 != 0) return 0;
    const Window& win = At(menu / 1000);
    if (position < 0 || position >= static_cast<int>(win.menus.size())) return 0;
    return menu + 1 + static_cast<MenuId>(position);
  }
  int MenuItemCount(MenuId menu) override {
    const auto* items = Items(menu);
    if (!items) return -1;
    const int over = At(menu / 1000).item_count_override;
    return over ? over : static_cast<int>(items->size());
  }
  std::string MenuText(MenuId menu, int position, std::size_t buffer) override {
    const auto* items = Items(menu);
    if (!items || position >= static_cast<int>(items->size())) return "";
    return CutAt932((*items)[position].text, buffer - 1);
  }
  std::uint32_t MenuState(MenuId menu, int position) override {
    const auto* items = Items(menu);
    if (!items || position >= static_cast<int>(items->size()) || (*items)[position].gone)
      return 0xFFFFFFFFu;
    return now < (*items)[position].grey_until ? companion::kMfGrayed : 0;
  }

  void Sleep(std::uint32_t ms) override {
    if (ms) Record("sleep " + std::to_string(ms));
    now += ms;
  }
  void Pump() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  void WaitForMessage(std::uint32_t ms) override { now += ms; }
  std::uint32_t NowMs() override { return now; }

  // How the trace names a menu handed over with WM_INITMENUPOPUP.
  std::string MenuName(std::uintptr_t menu) const {
    if (menu == 0) return "null";
    return windows.at(menu / 1000 - 1).name + ".menu" + std::to_string(menu % 1000 - 1);
  }

 private:
  const std::vector<Item>* Items(MenuId menu) {
    if (menu == 0 || menu % 1000 == 0) return nullptr;
    const WindowId w = menu / 1000;
    if (!Exists(w)) return nullptr;
    return &At(w).menus.at(menu % 1000 - 1);
  }
  std::string NameOf(WindowId w) {
    return w >= 1 && w <= windows.size() ? At(w).name : "#" + std::to_string(w);
  }
  std::string MessageName(std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) const {
    switch (m) {
      case companion::kWmCommand: return "WM_COMMAND " + std::to_string(wp);
      case companion::kWmSysCommand:
        return wp == companion::kScRestore    ? "SC_RESTORE"
               : wp == companion::kScMinimize ? "SC_MINIMIZE"
                                              : "WM_SYSCOMMAND " + std::to_string(wp);
      case companion::kWmInitMenuPopup:
        return "WM_INITMENUPOPUP " + MenuName(wp) + (lp ? " " + std::to_string(lp) : "");
    }
    return std::to_string(m) + " " + std::to_string(wp) + " " + std::to_string(lp);
  }
  void Record(const std::string& s) {
    trace.push_back(s);
    trace_time.push_back(now);
  }
};

}  // namespace zepho

// What the drive sequences need of the window system: other programs' top-level
// windows, their texts and menus, sending them messages, and the passing of time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace zepho {

// A window or menu of another program; 0 stands for none.
using WindowId = std::uintptr_t;
using MenuId = std::uintptr_t;

class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // The top-level windows in the platform's order; `visit` returns false to stop.
  virtual void EnumerateWindows(const std::function<bool(WindowId)>& visit) = 0;
  // Texts as code page 932 bytes, as read into a buffer of `buffer` bytes (the
  // text is cut to buffer - 1 bytes, never inside a double-byte character).
  virtual std::string WindowTitle(WindowId w, std::size_t buffer) = 0;
  virtual std::string ClassName(WindowId w, std::size_t buffer) = 0;
  // The first top-level window of that class, or with exactly that title.
  virtual WindowId FindByClass(const std::string& class_name) = 0;
  virtual WindowId FindByTitle(const std::string& title) = 0;
  virtual bool Exists(WindowId w) = 0;
  virtual bool Visible(WindowId w) = 0;
  virtual void SetForeground(WindowId w) = 0;

  // Sends a message and waits for it to be handled, at most `bound_ms`, and not
  // at all once the receiver is seen to hang. False: not handled (timed out,
  // hung, or no such window).
  virtual bool Send(WindowId w, std::uint32_t message, std::uintptr_t wparam,
                    std::intptr_t lparam, std::uint32_t bound_ms) = 0;

  virtual MenuId MenuBar(WindowId w) = 0;
  virtual MenuId SubMenu(MenuId menu, int position) = 0;
  virtual int MenuItemCount(MenuId menu) = 0;  // -1 when unavailable
  virtual std::string MenuText(MenuId menu, int position, std::size_t buffer) = 0;
  virtual std::uint32_t MenuState(MenuId menu, int position) = 0;  // 0xFFFFFFFF: no such item

  // Blocks the thread; no message is handled meanwhile.
  virtual void Sleep(std::uint32_t ms) = 0;
  // Handles every message waiting in the program's queue, then returns.
  virtual void Pump() = 0;
  // Returns when a message arrives for the program or after `ms`, whichever comes first.
  virtual void WaitForMessage(std::uint32_t ms) = 0;
  // A millisecond clock; only differences count (it may wrap).
  virtual std::uint32_t NowMs() = 0;
};

}  // namespace zepho

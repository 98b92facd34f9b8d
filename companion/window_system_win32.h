// The window system of the drive sequences, through the Windows API. Texts are
// read with the wide API and turned into code page 932 bytes, so that they
// compare the same on a Windows of any locale.
#pragma once

#include <functional>

#include "companion/window_system.h"

namespace zepho {

class WindowSystemWin32 : public WindowSystem {
 public:
  // `pump` handles the messages waiting in the program's queue.
  explicit WindowSystemWin32(std::function<void()> pump) : pump_(std::move(pump)) {}

  void EnumerateWindows(const std::function<bool(WindowId)>& visit) override;
  std::string WindowTitle(WindowId w, std::size_t buffer) override;
  std::string ClassName(WindowId w, std::size_t buffer) override;
  WindowId FindByClass(const std::string& class_name) override;
  WindowId FindByTitle(const std::string& title) override;
  bool Exists(WindowId w) override;
  bool Visible(WindowId w) override;
  void SetForeground(WindowId w) override;
  bool Send(WindowId w, std::uint32_t message, std::uintptr_t wparam, std::intptr_t lparam,
            std::uint32_t bound_ms) override;
  MenuId MenuBar(WindowId w) override;
  MenuId SubMenu(MenuId menu, int position) override;
  int MenuItemCount(MenuId menu) override;
  std::string MenuText(MenuId menu, int position, std::size_t buffer) override;
  std::uint32_t MenuState(MenuId menu, int position) override;
  void Sleep(std::uint32_t ms) override;
  void Pump() override;
  void WaitForMessage(std::uint32_t ms) override;
  std::uint32_t NowMs() override;

 private:
  std::function<void()> pump_;
};

}  // namespace zepho

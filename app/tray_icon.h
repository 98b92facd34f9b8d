// What the tray icon shows: its tip and which picture stands for a mode.
#pragma once

#include <cstdint>
#include <string>

#include "app/program_messages.h"

namespace zepho {

// The tip field holds 63 bytes and a NUL: "<title> - ZEPHO", cut so that no
// double-byte character is split.
inline constexpr std::size_t kTrayTipBytes = 63;
std::string TrayTip(const std::string& account_title);

// The icon resource for a mode that changes the picture; nullptr for Remove.
const char* TrayIconName(TrayMode mode, std::int32_t paused);

}  // namespace zepho

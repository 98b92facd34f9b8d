// What the tray icon shows: its tip and which picture stands for a mode.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/program_messages.h"

namespace zepho {

// The tip field holds 63 bytes and a NUL: "<title> - ZEPHO", cut so that no
// double-byte character is split.
inline constexpr std::size_t kTrayTipBytes = 63;
std::string TrayTip(const std::string& account_title);

// A local time as the tip shows it.
struct TipTime {
  int month = 1, day = 1, hour = 0, minute = 0;
};

// The tip while offline: "<title> - ZEPHO（オフライン）", and with the time the
// server was last reached "<title> - ZEPHO（オフライン・最終成功 5/12 08:03）"
// (code page 932). The title is cut (never inside a character) so that the
// rest fits in kTrayTipBytes whole; each byte of it is at most one UTF-16
// unit, so it fits the 64 units of the wide record's field too.
std::string OfflineTrayTip(const std::string& account_title, std::optional<TipTime> last_reached);

// The icon resource for a mode that changes the picture; nullptr for Remove.
const char* TrayIconName(TrayMode mode, std::int32_t paused);

}  // namespace zepho

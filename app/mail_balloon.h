// The balloon that names the new messages of a check: its title and its
// lines "差出人 — 件名", within the fields of the shell's tray record.
#pragma once

#include <cstddef>
#include <string>

#include "pop3/check_report.h"

namespace zepho {

struct TrayBalloon {
  std::u16string title;
  std::u16string text;
  bool operator==(const TrayBalloon&) const = default;
};

// The record's szInfoTitle[64] and szInfo[256], each with its NUL: the record
// is the wide one, so the bounds are UTF-16 units whatever the code page.
inline constexpr std::size_t kBalloonTitleUnits = 63;
inline constexpr std::size_t kBalloonTextUnits = 255;
inline constexpr std::size_t kBalloonMessages = 3;
// Each named message takes one line of at most this many units.
inline constexpr std::size_t kBalloonLineUnits = 76;

// Up to three new messages, the notable ones first, then "ほか N通" for the rest.
TrayBalloon NewMailBalloon(const CheckReport& report);

// At most `max` units of `text`, never the half of a surrogate pair; a text
// that had to be cut ends with "…".
std::u16string CutToUnits(std::u16string text, std::size_t max);

}  // namespace zepho

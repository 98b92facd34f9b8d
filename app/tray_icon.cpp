#include "app/tray_icon.h"

#include <algorithm>
#include <cstdio>

#include "common/cp932.h"

namespace zepho {

namespace {

// Code page 932: "（オフライン", "・最終成功 " and "）".
constexpr char kOffline[] = "\x81\x69\x83\x49\x83\x74\x83\x89\x83\x43\x83\x93";
constexpr char kLastReached[] = "\x81\x45\x8D\xC5\x8F\x49\x90\xAC\x8C\xF7 ";
constexpr char kClose[] = "\x81\x6A";

}  // namespace

std::string TrayTip(const std::string& account_title) {
  return CutAt932(account_title + " - ZEPHO", kTrayTipBytes);
}

std::string OfflineTrayTip(const std::string& account_title, std::optional<TipTime> last_reached) {
  std::string rest = std::string(" - ZEPHO") + kOffline;
  if (last_reached) {
    char when[64];
    std::snprintf(when, sizeof when, "%d/%d %02d:%02d", last_reached->month, last_reached->day,
                  last_reached->hour, last_reached->minute);
    rest += kLastReached;
    rest += when;
  }
  rest += kClose;
  const std::size_t room = kTrayTipBytes - std::min(rest.size(), kTrayTipBytes);
  return CutAt932(CutAt932(account_title, room) + rest, kTrayTipBytes);
}

const char* TrayIconName(TrayMode mode, std::int32_t paused) {
  switch (mode) {
    case TrayMode::Add:
    case TrayMode::Normal: return paused == 1 ? "STOPICON" : "MAINICON";
    case TrayMode::Matched: return "RECVICON";
    case TrayMode::Other: return "OTHERICON";
    default: return nullptr;
  }
}

}  // namespace zepho

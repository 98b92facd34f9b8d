#include "app/tray_icon.h"

#include "common/cp932.h"

namespace zepho {

std::string TrayTip(const std::string& account_title) {
  return CutAt932(account_title + " - ZEPHO", kTrayTipBytes);
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

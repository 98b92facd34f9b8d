#include "settings/check_list.h"

namespace zepho {

CheckList LoadCheckList(Profile& ini) {
  CheckList list{};
  for (CheckAddress& entry : ReadCheckAddresses(ini, kMaxCheckAddresses)) {
    if (entry.number < 1 || entry.number > kMaxCheckAddresses) continue;
    CheckEntry& slot = list[static_cast<std::size_t>(entry.number - 1)];
    slot.header = std::move(entry.header);
    slot.address = std::move(entry.address);
  }
  return list;
}

}  // namespace zepho

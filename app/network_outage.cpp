#include "app/network_outage.h"

#include <algorithm>

namespace zepho {

std::int64_t NetworkOutage::DueTicks(std::int32_t pop_time) const {
  // Widened: a huge PopTime from the file cannot overflow. 0 or less makes
  // every tick due.
  const std::int64_t interval = 2 * static_cast<std::int64_t>(pop_time);
  if (!offline()) return interval;
  const std::int64_t retry = failures_ <= 1 ? 1 : 2;
  return std::min(retry, std::max<std::int64_t>(interval, 1));
}

}  // namespace zepho

// The sender as the results window shows it in its column "差出人".
#pragma once

#include <string>
#include <string_view>

namespace zepho {

// The decoded From value, with one shortening: a quoted display name before
// an address in angle brackets loses its quotes ("\"山田\" <y@example.jp>" shows
// as "山田 <y@example.jp>"), and an empty one goes with the brackets. A name that
// would then look like an address or hold quotes keeps them; any other form
// stands as decoded. The address always stays visible.
std::u16string SenderDisplayText(std::string_view from_value);

}  // namespace zepho

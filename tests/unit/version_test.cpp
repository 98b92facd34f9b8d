// The build writes the version text beside the four numbers it is made from
// (cmake/version.cmake): read back, the text must give the same four numbers.
#include "resources/version.h"

#include <array>
#include <string_view>

namespace zepho {
namespace {

// "1.01.06b" -> {1, 1, 6, 2}; {-1, ...} when the text is not of that form.
constexpr std::array<int, 4> VersionNumbers(std::string_view text) {
  std::array<int, 4> numbers{};
  std::size_t at = 0;
  for (int part = 0; part < 3; ++part) {
    if (part > 0) {
      if (at >= text.size() || text[at] != '.') return {-1, 0, 0, 0};
      ++at;
    }
    const std::size_t start = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      numbers[part] = numbers[part] * 10 + (text[at] - '0');
      ++at;
    }
    if (at == start) return {-1, 0, 0, 0};
  }
  if (at < text.size() && text[at] >= 'a' && text[at] <= 'z') numbers[3] = text[at++] - 'a' + 1;
  if (at != text.size()) return {-1, 0, 0, 0};
  return numbers;
}

static_assert(VersionNumbers("1.01.06b") == std::array<int, 4>{1, 1, 6, 2});
static_assert(VersionNumbers("2.10.00") == std::array<int, 4>{2, 10, 0, 0});
static_assert(VersionNumbers("1.01")[0] == -1);
static_assert(VersionNumbers("1.01.06bb")[0] == -1);
static_assert(VersionNumbers(ZEPHO_VERSION_TEXT) ==
                  std::array<int, 4>{ZEPHO_VERSION_MAJOR, ZEPHO_VERSION_MINOR, ZEPHO_VERSION_PATCH,
                                     ZEPHO_VERSION_REVISION},
              "ZEPHO_VERSION_TEXT and the version numbers in resources/version.h disagree");

}  // namespace
}  // namespace zepho

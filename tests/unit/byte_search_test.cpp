#include "common/byte_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/cp932.h"

namespace zepho {
namespace {

struct Engine {
  const char* name;
  ByteSearch search;
};

std::vector<Engine> Engines() {
  std::vector<Engine> engines = {{"portable", FindBytesPortable}, {"default", FindBytes}};
#if defined(ZEPHO_HAVE_SSE2_SEARCH)
  engines.push_back({"sse2", FindBytesSse2});
#endif
  return engines;
}

std::size_t BruteBytes(std::string_view h, std::string_view w, std::size_t from) {
  if (w.empty()) return std::string_view::npos;
  for (std::size_t i = from; i + w.size() <= h.size(); ++i)
    if (h.substr(i, w.size()) == w) return i;
  return std::string_view::npos;
}

// Walks the character starts one by one from the text's first byte.
std::size_t BruteFind932(std::string_view h, std::string_view w, std::size_t from) {
  if (w.empty() || h.empty()) return std::string_view::npos;
  for (std::size_t i = 0; i < h.size();) {
    if (i >= from && h.substr(i, w.size()) == w) return i;
    i += IsLeadByte932(static_cast<unsigned char>(h[i])) && i + 1 < h.size() ? 2 : 1;
  }
  return std::string_view::npos;
}

// The haystack in a buffer of exactly its size: a read past its end is caught
// by the address sanitizer.
std::string_view Exact(std::vector<char>& storage, const std::string& text) {
  storage.assign(text.begin(), text.end());
  return {storage.data(), storage.size()};
}

TEST(FindBytes, EveryPlaceNearBothEndsOfTheText) {
  // Needles of every length at every position of texts around the vector width,
  // the last bytes included: the end of the text is where a vector step stops.
  std::vector<char> storage;
  for (const Engine& e : Engines()) {
    for (std::size_t size = 0; size <= 70; ++size) {
      for (std::size_t n = 1; n <= 20 && n <= size; ++n) {
        for (std::size_t at = 0; at + n <= size; ++at) {
          std::string text(size, 'a');
          for (std::size_t k = 0; k < n; ++k) text[at + k] = static_cast<char>('b' + k % 3);
          const std::string needle = text.substr(at, n);
          const std::string_view h = Exact(storage, text);
          ASSERT_EQ(e.search(h, needle, 0), BruteBytes(h, needle, 0))
              << e.name << " size " << size << " n " << n << " at " << at;
          ASSERT_EQ(e.search(h, needle, at + 1), BruteBytes(h, needle, at + 1))
              << e.name << " after the hit, size " << size << " n " << n << " at " << at;
        }
      }
    }
  }
}

TEST(FindBytes, EdgesOfTheArguments) {
  for (const Engine& e : Engines()) {
    EXPECT_EQ(e.search("abc", "", 0), std::string_view::npos) << e.name;
    EXPECT_EQ(e.search("", "a", 0), std::string_view::npos) << e.name;
    EXPECT_EQ(e.search("abc", "abcd", 0), std::string_view::npos) << e.name;
    EXPECT_EQ(e.search("abc", "c", 3), std::string_view::npos) << e.name;
    EXPECT_EQ(e.search("abc", "c", 99), std::string_view::npos) << e.name;
    EXPECT_EQ(e.search("abc", "abc", 0), 0u) << e.name;
    // Bytes above 0x7F compare as bytes, the sign of char notwithstanding.
    EXPECT_EQ(e.search(std::string(40, '\xFF') + "\x80\xFF", "\x80\xFF", 0), 40u) << e.name;
  }
}

TEST(FindBreakOrNul, EveryPathFindsTheFirstBreakOrNul) {
  std::vector<std::size_t (*)(std::string_view, std::size_t)> paths = {FindBreakOrNulPortable,
                                                                       FindBreakOrNul};
#if defined(ZEPHO_HAVE_SSE2_SEARCH)
  paths.push_back(FindBreakOrNulSse2);
#endif
  std::vector<char> storage;
  for (std::size_t size = 0; size <= 40; ++size) {
    for (const char special : {'\r', '\n', '\0'}) {
      for (std::size_t at = 0; at <= size; ++at) {  // at == size: none in the text
        std::string text(size, 'x');
        if (at < size) text[at] = special;
        const std::string_view t = Exact(storage, text);
        const std::size_t expected = at < size ? at : std::string_view::npos;
        for (auto* find : paths) {
          ASSERT_EQ(find(t, 0), expected) << "size " << size << " at " << at;
          ASSERT_EQ(find(t, at < size ? at + 1 : size), std::string_view::npos) << size;
        }
      }
    }
  }
}

TEST(Find932, EveryPathAgreesWithTheCharacterWalk) {
  // Few distinct bytes, lead bytes and backslash among them, so that hits on
  // second bytes and runs of lead bytes are frequent.
  const char alphabet[] = {'a', 'b', '\\', '\r', '\n', '\x81', '\x82', '\xE0', '\xA0'};
  std::mt19937 rng(932);
  std::vector<char> storage;
  for (int round = 0; round < 3000; ++round) {
    const std::size_t size = round % 10 == 0 ? 2000 : rng() % 90;
    std::string text(size, 'a');
    for (char& c : text) c = alphabet[rng() % sizeof alphabet];
    std::string needle;
    if (size > 0 && rng() % 3 != 0) {
      const std::size_t at = rng() % size;
      needle = text.substr(at, 1 + rng() % 6);
    } else {
      for (std::size_t k = 1 + rng() % 4; k > 0; --k) needle += alphabet[rng() % sizeof alphabet];
    }
    const std::size_t from = size > 0 && rng() % 4 == 0 ? rng() % size : 0;
    const std::string_view h = Exact(storage, text);
    const std::size_t expected = BruteFind932(h, needle, from);
    for (const Engine& e : Engines())
      ASSERT_EQ(Find932(h, needle, from, e.search), expected)
          << e.name << " round " << round << " from " << from;
    ASSERT_EQ(OccursIn(needle, h), BruteFind932(h, needle, 0) != std::string_view::npos);
  }
}

TEST(Find932, LongRunOfLeadBytesBeforeTheHit) {
  // 0x81 0x81 ... pairs up from the start: an odd run puts "\\" on a second byte.
  for (std::size_t run : {1000u, 1001u}) {
    const std::string text = std::string(run, '\x81') + "\\x";
    const bool starts = run % 2 == 0;
    EXPECT_EQ(OccursIn("\\x", text), starts) << run;
    EXPECT_EQ(OccursIn("x", text), true) << run;
  }
}

}  // namespace
}  // namespace zepho

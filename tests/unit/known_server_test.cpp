#include "settings/known_server.h"

#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "unit/fakes/memory_profile.h"

namespace zepho {
namespace {

// The kept server reads back as the server setting does, byte for byte, so the
// two compare equal for the same typed text.
TEST(KnownServer, ReadsBackAsTheServerSettingReads) {
  for (const std::string typed : {"pop.example.jp", " [::1] ", "\x83\x5c\x83\x5d.example.jp", "a\"b"}) {
    testing::MemoryProfile p;
    EXPECT_EQ(ReadKnownServer(p), "") << "none kept";
    Settings s;
    s.PopAddress = typed;
    SaveSettings(p, s);
    ASSERT_TRUE(WriteKnownServer(p, typed));
    Settings loaded;
    LoadSettings(p, loaded);
    EXPECT_EQ(ReadKnownServer(p), loaded.PopAddress) << typed;
    EXPECT_EQ(ReadKnownServer(p), typed) << typed;
    // The settings' own save leaves it.
    SaveSettings(p, loaded);
    EXPECT_EQ(ReadKnownServer(p), typed) << typed;
  }
}

TEST(KnownServer, AFileThatCannotBeWrittenSaysSo) {
  testing::MemoryProfile p;
  p.fail_writes_from = 0;
  EXPECT_FALSE(WriteKnownServer(p, "pop.example.jp"));
  EXPECT_EQ(ReadKnownServer(p), "");
}

}  // namespace
}  // namespace zepho

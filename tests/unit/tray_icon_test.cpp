#include "app/tray_icon.h"

#include <gtest/gtest.h>

namespace zepho {
namespace {

TEST(TrayTip, TitleThenProgramName) {
  EXPECT_EQ(TrayTip(""), " - ZEPHO");
  EXPECT_EQ(TrayTip("Work"), "Work - ZEPHO");
}

TEST(TrayTip, LongTitleIsCutAt63BytesNeverInsideACharacter) {
  // 55 single bytes fit exactly: 55 + 8 = 63.
  EXPECT_EQ(TrayTip(std::string(55, 'a')), std::string(55, 'a') + " - ZEPHO");
  EXPECT_EQ(TrayTip(std::string(70, 'a')), std::string(63, 'a'));
  // 62 single bytes then a double-byte character: byte 63 would be its lead byte alone.
  const std::string title = std::string(62, 'a') + "\x95\x5C" + "b";
  EXPECT_EQ(TrayTip(title), std::string(62, 'a'));
  // Double-byte characters only: 31 of them are 62 bytes, the 32nd does not fit.
  std::string kanji;
  for (int i = 0; i < 40; ++i) kanji += "\x8C\x8E";
  EXPECT_EQ(TrayTip(kanji).size(), 62u);
}

TEST(TrayIconName, PausedShowsTheStopIconAsNormal) {
  EXPECT_STREQ(TrayIconName(TrayMode::Add, 0), "MAINICON");
  EXPECT_STREQ(TrayIconName(TrayMode::Normal, 1), "STOPICON");
  EXPECT_STREQ(TrayIconName(TrayMode::Add, 1), "STOPICON");
  EXPECT_STREQ(TrayIconName(TrayMode::Normal, 2), "MAINICON");  // only 1 means paused
  EXPECT_STREQ(TrayIconName(TrayMode::Matched, 1), "RECVICON");
  EXPECT_STREQ(TrayIconName(TrayMode::Other, 0), "OTHERICON");
  EXPECT_EQ(TrayIconName(TrayMode::Remove, 0), nullptr);
}

}  // namespace
}  // namespace zepho

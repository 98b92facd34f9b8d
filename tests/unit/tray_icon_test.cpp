#include "app/tray_icon.h"

#include <gtest/gtest.h>

#include "common/cp932.h"
#include "common/cp932_unicode.h"

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

// Code page 932 bytes as UTF-16, for comparing with the text meant.
std::u16string Utf16(const std::string& cp932) {
  std::u16string out;
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (IsLeadByte932(b) && i + 1 < cp932.size())
      out += Cp932Pair(b, static_cast<unsigned char>(cp932[++i]));
    else
      out += Cp932SingleByte(b);
  }
  return out;
}

TEST(OfflineTrayTip, SaysOfflineAndWhenTheServerWasLastReached) {
  EXPECT_EQ(Utf16(OfflineTrayTip("Work", std::nullopt)), u"Work - ZEPHO（オフライン）");
  EXPECT_EQ(Utf16(OfflineTrayTip("", TipTime{5, 12, 8, 3})), u" - ZEPHO（オフライン・最終成功 5/12 08:03）");
  EXPECT_EQ(Utf16(OfflineTrayTip("\x8E\x64\x8E\x96", TipTime{12, 31, 23, 59})),
            u"仕事 - ZEPHO（オフライン・最終成功 12/31 23:59）");
}

// However long the title, the tip fits the field whole: the title is cut,
// never inside a character, and what says offline stays.
TEST(OfflineTrayTip, TheTitleGivesWayAndTheTipFits) {
  std::string kanji;
  for (int i = 0; i < 40; ++i) kanji += "\x8C\x8E";
  const std::string titles[] = {std::string(70, 'a'), kanji, std::string(18, 'a') + "\x95\x5C",
                                std::string(19, 'a') + "\x95\x5C"};
  for (const std::string& title : titles) {
    for (const std::optional<TipTime> when : {std::optional<TipTime>(), std::optional(TipTime{12, 31, 23, 59})}) {
      const std::string tip = OfflineTrayTip(title, when);
      EXPECT_LE(tip.size(), kTrayTipBytes) << title;
      EXPECT_LE(Utf16(tip).size(), 63u) << "the wide record's field";
      const std::u16string text = Utf16(tip);
      EXPECT_NE(text.find(when ? u" - ZEPHO（オフライン・最終成功 12/31 23:59）" : u" - ZEPHO（オフライン）"),
                std::u16string::npos);
      EXPECT_EQ(text.find(u'\0'), std::u16string::npos) << "no character cut in two";
      EXPECT_EQ(tip.substr(0, 2), title.substr(0, 2));
    }
  }
  // 19 bytes of title fit beside the longest rest: a character at bytes 19 and 20 does not.
  const std::string tip = OfflineTrayTip(std::string(18, 'a') + "\x95\x5C", TipTime{12, 31, 23, 59});
  EXPECT_EQ(tip.size(), 18u + 44u);
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

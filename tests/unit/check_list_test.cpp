#include "settings/check_list.h"

#include <gtest/gtest.h>

#include <string>

#include "pop3/new_mail_detection.h"
#include "unit/fakes/memory_profile.h"

namespace zepho {
namespace {

TEST(CheckListLoad, EntriesKeepTheirNumbers) {
  testing::MemoryProfile ini;
  ini.Set("CHECKADDRESS", "SettingNumber", "3");
  ini.Set("CHECKADDRESS", "CheckString1", "From:");
  ini.Set("CHECKADDRESS", "CheckString1+A", "boss@");
  ini.Set("CHECKADDRESS", "CheckString2", "");
  ini.Set("CHECKADDRESS", "CheckString2+A", "lost@");
  ini.Set("CHECKADDRESS", "CheckString3", "To:");
  ini.Set("CHECKADDRESS", "CheckString3+A", "me@");
  const CheckList list = LoadCheckList(ini);
  EXPECT_EQ(list[0].header, "From:");
  EXPECT_EQ(list[0].address, "boss@");
  EXPECT_EQ(list[1].header, "");
  EXPECT_EQ(list[1].address, "");
  EXPECT_EQ(list[2].header, "To:");
  EXPECT_EQ(list[2].address, "me@");
  for (std::size_t i = 3; i < list.size(); ++i) EXPECT_TRUE(list[i].header.empty()) << i;
}

TEST(CheckListLoad, EntriesPastTwentyHaveNoSlot) {
  testing::MemoryProfile ini;
  ini.Set("CHECKADDRESS", "SettingNumber", "22");
  for (int i = 1; i <= 22; ++i) {
    ini.Set("CHECKADDRESS", "CheckString" + std::to_string(i), "H" + std::to_string(i) + ":");
    ini.Set("CHECKADDRESS", "CheckString" + std::to_string(i) + "+A",
            "<A" + std::to_string(i) + ">");
  }
  const CheckList list = LoadCheckList(ini);
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].header, "H" + std::to_string(i + 1) + ":");
    EXPECT_EQ(list[i].address, "<A" + std::to_string(i + 1) + ">");
  }
  EXPECT_TRUE(LineMatches(list, "H20: <A20>"));
  EXPECT_FALSE(LineMatches(list, "H21: <A21>"));
}

TEST(CheckListLoad, MissingSectionGivesEmptyList) {
  testing::MemoryProfile ini;
  const CheckList list = LoadCheckList(ini);
  for (const CheckEntry& e : list) {
    EXPECT_TRUE(e.header.empty());
    EXPECT_TRUE(e.address.empty());
  }
}

}  // namespace
}  // namespace zepho

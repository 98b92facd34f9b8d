#include "common/cp932.h"

#include <gtest/gtest.h>

namespace zepho {
namespace {

// "表" is 0x95 0x5C: its second byte is a backslash.
const std::string kHyo = "\x95\x5C";

TEST(OccursIn, Table) {
  struct Case { std::string needle, haystack; bool found; };
  const Case cases[] = {
      {"abc", "xxabcxx", true},
      {"ABC", "xxabcxx", false},                 // case-sensitive
      {"", "anything", false},                   // empty never occurs
      {"a", "", false},                          // nothing occurs in empty
      {"\\", kHyo, false},                       // no hit on a trail byte
      {"\\", kHyo + "\\", true},                 // a real backslash after it
      {"\x5C" "a", kHyo + "a", false},
      {kHyo, "x" + kHyo + "y", true},
      {"\x82\xA0", "\x82\x82\xA0", false},       // would start on the trail byte of 0x82 0x82
      {"\x82\xA0", "\x82\x82\x82\xA0", true},
      {"abcd", "abc", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OccursIn(c.needle, c.haystack), c.found) << c.needle << " in " << c.haystack;
}

TEST(FolderOf, LastSeparatorNotInsideDoubleByteCharacter) {
  EXPECT_EQ(FolderOf("C:\\Program Files\\ZEPHO\\ZEPHO.exe"), "C:\\Program Files\\ZEPHO\\");
  EXPECT_EQ(FolderOf("C:\\" + kHyo + "\\ZEPHO.exe"), "C:\\" + kHyo + "\\");
  // The trail byte of 表 is no separator: the folder ends at the backslash before it.
  EXPECT_EQ(FolderOf("C:\\dir\\" + kHyo + "ZEPHO.exe"), "C:\\dir\\");
  EXPECT_EQ(FolderOf("C:ZEPHO.exe"), "C:");
  EXPECT_EQ(FolderOf("ZEPHO.exe"), "");
}

TEST(CutAt932, NeverSplitsACharacter) {
  EXPECT_EQ(CutAt932("abcdef", 3), "abc");
  EXPECT_EQ(CutAt932("ab" + kHyo + "c", 3), "ab");      // would end between 0x95 and 0x5C
  EXPECT_EQ(CutAt932("ab" + kHyo + "c", 4), "ab" + kHyo);
  EXPECT_EQ(CutAt932("short", 63), "short");
}

}  // namespace
}  // namespace zepho

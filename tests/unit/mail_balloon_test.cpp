#include "app/mail_balloon.h"

#include <gtest/gtest.h>

#include <string>

#include "unit/text_encoders.h"

namespace zepho {
namespace {

std::string Top(const std::string& from, const std::string& subject) {
  return "+OK\r\nFrom: " + from + "\r\nSubject: " + subject + "\r\n\r\n.\r\n";
}

CheckReport WithRows(std::int32_t new_count,
                     const std::vector<std::pair<ExaminedState, std::string>>& rows) {
  CheckReport r;
  r.checked = true;
  r.new_count = new_count;
  std::int32_t number = 100;
  for (const auto& [state, name] : rows)
    r.examined.Record(number--, {state != ExaminedState::Received,
                                 state == ExaminedState::NewNotable, kNoEntry},
                      Top(name + "@x", "about " + name));
  return r;
}

using S = ExaminedState;

TEST(MailBalloon, NamesUpToThreeNotableFirst) {
  struct Case { const char* name; CheckReport report; std::u16string text; };
  const Case cases[] = {
      {"one", WithRows(1, {{S::NewNotable, "a"}}), u"a@x — about a"},
      {"the notable one first, where the walk stopped",
       WithRows(3, {{S::New, "a"}, {S::New, "b"}, {S::NewNotable, "c"}}),
       u"c@x — about c\na@x — about a\nb@x — about b"},
      {"the rest counted, the received one not named",
       WithRows(5, {{S::New, "a"}, {S::New, "b"}, {S::New, "c"}, {S::New, "d"}, {S::New, "e"},
                    {S::Received, "f"}}),
       u"a@x — about a\nb@x — about b\nc@x — about c\nほか 2通"},
      {"counted beyond the rows kept", WithRows(1500, {{S::New, "a"}}),
       u"a@x — about a\nほか 1499通"},
  };
  for (const Case& c : cases) {
    const TrayBalloon b = NewMailBalloon(c.report);
    EXPECT_EQ(b.title, u"新着メール") << c.name;
    EXPECT_EQ(b.text, c.text) << c.name;
  }
}

// However long the senders and subjects, the texts fit the record's fields and
// each line stays readable.
TEST(MailBalloon, FitsTheRecordsFields) {
  const std::string long_name(300, 'n');
  const std::string wide = test::Word("UTF-8", 'B', test::Utf8(std::u16string(200, u'漢')));
  const std::string emoji = test::Word("UTF-8", 'B', test::Utf8(u"\U0001F600\U0001F600\U0001F600"));
  for (const std::string& subject : {long_name, wide, emoji + emoji + emoji + wide}) {
    CheckReport r = WithRows(9, {});
    for (int i = 0; i < 4; ++i)
      r.examined.Record(9 - i, {true, false, kNoEntry}, Top(long_name + "@x", subject));
    const TrayBalloon b = NewMailBalloon(r);
    EXPECT_LE(b.text.size(), kBalloonTextUnits);
    EXPECT_LE(b.title.size(), kBalloonTitleUnits);
    EXPECT_NE(b.text.find(u"ほか 6通"), std::u16string::npos) << "the count survives the cut";
    std::size_t start = 0;
    for (int line = 0; line < 3; ++line) {
      const std::size_t end = b.text.find(u'\n', start);
      ASSERT_NE(end, std::u16string::npos);
      EXPECT_LE(end - start, kBalloonLineUnits);
      EXPECT_EQ(b.text[end - 1], u'\u2026');
      start = end + 1;
    }
  }
}

TEST(MailBalloon, CutToUnits) {
  struct Case { std::u16string text; std::size_t max; std::u16string out; };
  const Case cases[] = {
      {u"abc", 3, u"abc"},
      {u"abcd", 3, u"ab…"},
      {u"a\U0001F600b", 4, u"a\U0001F600b"},
      {u"a\U0001F600bc", 4, u"a\U0001F600…"},
      {u"ab\U0001F600c", 4, u"ab…"},     // the pair would be split: it goes whole
      {u"a\U0001F600cd", 3, u"a…"},
      {u"abc", 0, u""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutToUnits(c.text, c.max), c.out);
}

}  // namespace
}  // namespace zepho

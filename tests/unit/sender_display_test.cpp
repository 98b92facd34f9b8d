#include "common/sender_display.h"

#include <gtest/gtest.h>

#include "text_encoders.h"

namespace zepho {
namespace {

using test::Word;

TEST(SenderDisplayText, Table) {
  const std::string yamada = Word("ISO-2022-JP", 'B', "\x1B$B;3ED\x1B(B");  // 山田
  struct Case { std::string from; std::u16string expected; };
  const Case cases[] = {
      {yamada + " <yamada@example.jp>", u"山田 <yamada@example.jp>"},
      {"\"" + yamada + "\" <yamada@example.jp>", u"山田 <yamada@example.jp>"},  // quotes go
      {"\"Yamada, Taro\"   <t@example.jp>", u"Yamada, Taro <t@example.jp>"},
      {"\"a \\\"b\" <x@example.jp>", u"\"a \\\"b\" <x@example.jp>"},  // a quote in the name: as it stands
      {"\"a\\\\b\" <x@example.jp>", u"a\\b <x@example.jp>"},
      {"\"\" <x@example.jp>", u"x@example.jp"},
      {"\"  \" <x@example.jp>", u"x@example.jp"},
      {"\"boss@bank.example\" <evil@example.jp>", u"\"boss@bank.example\" <evil@example.jp>"},
      {"\"<boss>\" <evil@example.jp>", u"\"<boss>\" <evil@example.jp>"},
      {"x@example.jp", u"x@example.jp"},
      {"<x@example.jp>", u"<x@example.jp>"},
      {"x@example.jp (Taro)", u"x@example.jp (Taro)"},
      {"\"A\" <a@example.jp>, \"B\" <b@example.jp>", u"\"A\" <a@example.jp>, \"B\" <b@example.jp>"},
      {"\"unterminated <x@example.jp>", u"\"unterminated <x@example.jp>"},
      {"\"A\" <>", u"\"A\" <>"},
      {"\"A\" x@example.jp", u"\"A\" x@example.jp"},
      {"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(SenderDisplayText(c.from), c.expected) << c.from;
}

}  // namespace
}  // namespace zepho

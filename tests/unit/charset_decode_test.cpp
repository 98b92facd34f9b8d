#include "common/charset_decode.h"

#include <gtest/gtest.h>

#include "text_encoders.h"

namespace zepho {
namespace {

using test::Utf8;

std::u16string Decode(Charset charset, std::string_view bytes, std::size_t limit = 1000) {
  std::u16string out;
  Utf16Writer writer(out, limit);
  DecodeCharset(charset, bytes, writer);
  return out;
}

TEST(CharsetNamed, NamesInAnyLetterCase) {
  struct Case { std::string_view name; std::optional<Charset> expected; };
  const Case cases[] = {
      {"UTF-8", Charset::Utf8}, {"utf-8", Charset::Utf8}, {"Utf8", Charset::Utf8},
      {"ISO-2022-JP", Charset::Iso2022Jp}, {"iso-2022-jp", Charset::Iso2022Jp},
      {"ISO-2022-JP*ja", Charset::Iso2022Jp}, {"iso-2022-JP*ja-JP", Charset::Iso2022Jp},
      {"Shift_JIS", Charset::ShiftJis}, {"SHIFT-JIS", Charset::ShiftJis},
      {"Windows-31J", Charset::ShiftJis}, {"MS932", Charset::ShiftJis}, {"CP932", Charset::ShiftJis},
      {"x-sjis", Charset::ShiftJis},
      {"EUC-JP", Charset::EucJp}, {"x-euc-jp", Charset::EucJp},
      {"US-ASCII", Charset::UsAscii}, {"us-ascii*en", Charset::UsAscii},
      {"ISO-8859-1", Charset::Latin1}, {"Latin1", Charset::Latin1}, {"windows-1252", Charset::Latin1},
      {"", std::nullopt}, {"*ja", std::nullopt}, {"KOI8-R", std::nullopt},
      {"utf-8x", std::nullopt}, {"utf", std::nullopt}, {"ISO-2022-JP-2", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(CharsetNamed(c.name), c.expected) << c.name;
}

struct DecodeCase {
  Charset charset;
  std::string bytes;
  std::u16string expected;
};

void ExpectDecodes(const std::vector<DecodeCase>& cases) {
  for (const DecodeCase& c : cases) {
    const std::u16string text = Decode(c.charset, c.bytes);
    EXPECT_EQ(text, c.expected) << "charset " << static_cast<int>(c.charset) << ", bytes "
                                << testing::PrintToString(c.bytes);
    EXPECT_LE(text.size(), c.bytes.size());
  }
}

// Byte strings written as hex were produced with Python's codecs (cp932,
// euc_jp, iso2022_jp, cp1252) from the expected text; the JIS codes of the NEC
// and IBM characters from their code page 932 pairs.
TEST(DecodeCharset, ValidText) {
  ExpectDecodes({
      {Charset::UsAscii, "Re: hello", u"Re: hello"},
      {Charset::Latin1, "caf\xE9 \x80", u"café €"},
      {Charset::Latin1, "\xA0\xFF\x9F", u"\u00A0ÿŸ"},
      {Charset::Utf8, Utf8(u"日本語のテスト ①㈱ 𠮷"), u"日本語のテスト ①㈱ 𠮷"},
      {Charset::Utf8, Utf8(u"é ｱ \U0001F600"), u"é ｱ \U0001F600"},
      // 日本語のテスト; ソ能表 (trail byte 0x5C); ①㈱Ⅰ№; 纊ⅰ (NEC-selected IBM) ⅰ (IBM) ￢
      {Charset::ShiftJis, "\x93\xFA\x96{\x8C\xEA\x82\xCC\x83" "e\x83X\x83g", u"日本語のテスト"},
      {Charset::ShiftJis, "\x83\x5C\x94\x5C\x95\x5C", u"ソ能表"},
      {Charset::ShiftJis, "\x87@\x87\x8A\x87T\x87\x82", u"①㈱Ⅰ№"},
      {Charset::ShiftJis, "\xED@\xEE\xEF\xFA@\x81\xCA", u"纊ⅰⅰ￢"},
      {Charset::ShiftJis, "\xB1\xB2\xB3\xDE \\~", u"ｱｲｳﾞ \\~"},
      {Charset::ShiftJis, "\xF0@\xF9\xFC\x80\xA0\xFD", u"\uE000\uE757\u0080\uF8F0\uF8F1"},
      // 日本語; ｱﾞ (SS2); ①㈱ (row 13); 纊ⅰ (rows 89, 92)
      {Charset::EucJp, "\xC6\xFC\xCB\xDC\xB8\xEC", u"日本語"},
      {Charset::EucJp, "\x8E\xB1\x8E\xDE", u"ｱﾞ"},
      {Charset::EucJp, "\xAD\xA1\xAD\xEA\xF9\xA1\xFC\xF1", u"①㈱纊ⅰ"},
      // 日本語のテスト; ①㈱Ⅰ№; 纊ⅰ￢; ～ through its code page 932 pair
      {Charset::Iso2022Jp, "\x1B$BF|K\\8l$N%F%9%H\x1B(B", u"日本語のテスト"},
      {Charset::Iso2022Jp, "\x1B$B-!-j-5-b\x1B(B", u"①㈱Ⅰ№"},
      {Charset::Iso2022Jp, "\x1B$By!|q\"L!A\x1B(B", u"纊ⅰ￢～"},
      {Charset::Iso2022Jp, "a\x1B$@F|\x1B(J\\~", u"a日\\~"},        // ESC $ @; JIS Roman as ASCII
      {Charset::Iso2022Jp, "\x1B$(BF|\x1B&@\x1B$BK\\\x1B(B", u"日本"},  // ESC $ ( B; ESC & @
      {Charset::Iso2022Jp, "\x1B(I123^\x1B(Bx", u"ｱｲｳﾞx"},            // ESC ( I
      {Charset::Iso2022Jp, "a\x0E" "123^\x0F" "b", u"aｱｲｳﾞb"},        // SO ... SI
      {Charset::Iso2022Jp, "\x1B)I\x0E" "1\x0F", u"ｱ"},
      {Charset::Iso2022Jp, "\x1B$BF| K\\\x1B(B", u"日 本"},           // a blank between pairs
  });
}

TEST(DecodeCharset, InvalidBytesBecomeReplacementCharacters) {
  ExpectDecodes({
      {Charset::UsAscii, "ab\x80\xFF", u"ab\uFFFD\uFFFD"},
      {Charset::Utf8, "\xC0\xAF", u"\uFFFD\uFFFD"},                  // overlong
      {Charset::Utf8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},        // a surrogate
      {Charset::Utf8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {Charset::Utf8, "\xE6\x97" "A\xE6\x97", u"\uFFFDA\uFFFD"},     // a cut character is one U+FFFD
      {Charset::Utf8, "\x80" "a\xFE", u"\uFFFDa\uFFFD"},
      {Charset::ShiftJis, "\x85@\xEB@", u"\uFFFD\uFFFD"},            // unmapped pairs
      {Charset::ShiftJis, "\x81 a\x82", u"\uFFFD a\uFFFD"},          // no trail byte: read again
      {Charset::ShiftJis, "\x88@", u"\uFFFD"},
      {Charset::EucJp, "\x8F\xB0\xA1x", u"\uFFFDx"},                 // 丂, JIS X 0212
      {Charset::EucJp, "\xC6" "A\xC6", u"\uFFFDA\uFFFD"},
      {Charset::EucJp, "\x8E\xE0", u"\uFFFD\uFFFD"},                  // SS2 without katakana
      {Charset::EucJp, "\xA9\xA1\xFF\x80", u"\uFFFD\uFFFD\uFFFD"},   // an empty row; bytes no EUC-JP has
      {Charset::Iso2022Jp, "\x1B$BF", u"\uFFFD"},                    // half a pair
      {Charset::Iso2022Jp, "\x1B$B/!\x1B(B", u"\uFFFD"},             // an empty row
      {Charset::Iso2022Jp, "\x1B$(DF|\x1B$AF|\x1B(B", u"\uFFFD\uFFFD"},  // JIS X 0212, GB 2312
      {Charset::Iso2022Jp, "\x1B(Zab\x1B(Bc", u"\uFFFD\uFFFDc"},     // an unknown single-byte set
      {Charset::Iso2022Jp, "\x1BXa\x1B", u"\uFFFDXa\uFFFD"},         // no designation
      {Charset::Iso2022Jp, "\xB1\x1B(I`", u"\uFFFD\uFFFD"},          // 8-bit byte; beyond katakana
  });
}

TEST(DecodeCharset, StopsAtTheLimit) {
  EXPECT_EQ(Decode(Charset::ShiftJis, "\x93\xFA\x96{\x8C\xEA", 2), u"日本");
  EXPECT_EQ(Decode(Charset::Utf8, Utf8(u"ab\U0001F600c"), 3), u"ab");  // no half pair
  EXPECT_EQ(Decode(Charset::Utf8, Utf8(u"ab\U0001F600c"), 4), u"ab\U0001F600");
  EXPECT_EQ(Decode(Charset::Iso2022Jp, "\x1B$BF|K\\8l\x1B(B", 0), u"");
}

TEST(Utf16Writer, NothingAfterTheFirstCharacterThatDoesNotFit) {
  std::u16string out;
  Utf16Writer writer(out, 3);
  writer.Put(U'a');
  writer.Put(U'b');
  EXPECT_FALSE(writer.Full());
  writer.Put(U'\U0001F600');
  writer.Put(U'c');
  EXPECT_TRUE(writer.Full());
  EXPECT_EQ(out, u"ab");
}

TEST(IsValidUtf8, Table) {
  struct Case { std::string bytes; bool valid; };
  const Case cases[] = {
      {"", true}, {"ascii", true}, {Utf8(u"日本語 é 𠮷"), true}, {"\xEF\xBF\xBD", true},
      {"\xF4\x8F\xBF\xBF", true},
      {"\x93\xFA\x96{", false},   // code page 932 日本
      {"\xC3", false}, {"\xC0\x80", false}, {"\xE0\x80\x80", false}, {"\xED\xBF\xBF", false},
      {"\xF4\x90\x80\x80", false}, {"\xF5\x80\x80\x80", false}, {"\xFF", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsValidUtf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
}

}  // namespace
}  // namespace zepho

#include "common/header_decode.h"

#include <gtest/gtest.h>

#include "common/mail_header.h"
#include "text_encoders.h"

namespace zepho {
namespace {

using test::Utf8;
using test::Word;

// Byte strings in hex come from Python's codecs (iso2022_jp, cp932, euc_jp)
// applied to the text in the comment beside them.
const std::string kJisNihongo = "\x1B$BF|K\\8l$N%F%9%H\x1B(B";  // 日本語のテスト
const std::string kJisNihon = "\x1B$BF|K\\\x1B(B";             // 日本
const std::string kSjisHyoji = "\x95\x5C\x8E\xA6";              // 表示 (表 ends in 0x5C)
const std::string kSjisKenmei = "\x8C\x8F\x96\xBC";             // 件名
const std::string kEucNihon = "\xC6\xFC\xCB\xDC";               // 日本

struct Case {
  std::string value;
  std::u16string expected;
};

void ExpectTexts(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const std::u16string text = DecodeHeaderValue(c.value);
    EXPECT_EQ(text, c.expected) << testing::PrintToString(c.value);
    EXPECT_LE(text.size(), c.value.size());
  }
}

TEST(DecodeHeaderValue, WordsOfEachCharsetAndEncoding) {
  ExpectTexts({
      {Word("ISO-2022-JP", 'B', kJisNihongo), u"日本語のテスト"},
      {Word("ISO-2022-JP", 'Q', kJisNihongo), u"日本語のテスト"},
      {Word("ISO-2022-JP", 'B', "\x1B$B-!-j\x1B(B"), u"①㈱"},                 // NEC row 13
      {Word("ISO-2022-JP", 'B', "\x1B$By!|q\x1B(B"), u"纊ⅰ"},                  // IBM extensions
      {Word("ISO-2022-JP", 'B', "\x1B(I123\x1B(B \x0E" "123\x0F"), u"ｱｲｳ ｱｲｳ"},  // half-width, both ways
      {Word("UTF-8", 'B', Utf8(u"件名 ① 𠮷")), u"件名 ① 𠮷"},
      {Word("UTF-8", 'Q', Utf8(u"café ｱ")), u"café ｱ"},
      {Word("Shift_JIS", 'B', kSjisHyoji), u"表示"},
      {Word("Windows-31J", 'Q', "\x87@\x87\x8A\xFA@\xB1"), u"①㈱ⅰｱ"},
      {Word("CP932", 'B', kSjisKenmei), u"件名"},
      {Word("EUC-JP", 'B', kEucNihon + "\x8E\xB1"), u"日本ｱ"},
      {Word("US-ASCII", 'Q', "hello world"), u"hello world"},
      {Word("ISO-8859-1", 'Q', "caf\xE9 \x80"), u"café €"},
  });
}

TEST(DecodeHeaderValue, LetterCaseLanguageAndEncodingDetails) {
  const std::string b64 = test::Base64(kJisNihon);
  ExpectTexts({
      {"=?iso-2022-jp?b?" + b64 + "?=", u"日本"},
      {"=?Iso-2022-Jp?B?" + b64 + "?=", u"日本"},
      {"=?ISO-2022-JP*ja?B?" + b64 + "?=", u"日本"},              // RFC 2231 language
      {"=?utf-8?q?a_b=20c=3f=3D?=", u"a b c?="},
      {"=?UTF-8?Q?=e6=97=a5?=", u"日"},                           // lower-case hex
      {"=?UTF-8?Q?100=?=", u"100="},                              // "=" without hex stays
      {"=?UTF-8?Q?=4g?=", u"=4g"},
      {"=?UTF-8?B?YQ?=", u"a"},                                   // padding left out
      {"=?UTF-8?B?YWI?=", u"ab"},
      {"=?UTF-8?B?" "?=", u""},  // (split: no trigraph)
  });
}

TEST(DecodeHeaderValue, CharacterCutBetweenWordsComesOutWhole) {
  const std::string utf8 = Utf8(u"日本");
  ExpectTexts({
      // ISO-2022-JP cut inside the first kanji, before and after its escape
      {Word("ISO-2022-JP", 'B', kJisNihon.substr(0, 4)) + " " + Word("ISO-2022-JP", 'B', kJisNihon.substr(4)),
       u"日本"},
      {Word("ISO-2022-JP", 'B', kJisNihon.substr(0, 2)) + "\r\n " +
           Word("iso-2022-jp", 'Q', kJisNihon.substr(2, 3)) + "\t" + Word("ISO-2022-JP", 'B', kJisNihon.substr(5)),
       u"日本"},
      // UTF-8 cut after two bytes of 日; the next word in Q
      {Word("UTF-8", 'B', utf8.substr(0, 2)) + " " + Word("utf-8", 'Q', utf8.substr(2)), u"日本"},
      // code page 932 cut between 0x95 and 0x5C
      {Word("Shift_JIS", 'B', kSjisHyoji.substr(0, 1)) + "  " + Word("Shift_JIS", 'B', kSjisHyoji.substr(1)),
       u"表示"},
      {Word("EUC-JP", 'B', kEucNihon.substr(0, 3)) + Word("EUC-JP", 'B', kEucNihon.substr(3)), u"日本"},
      // text between the words: each word stands alone, the cut character is lost
      {Word("UTF-8", 'B', utf8.substr(0, 2)) + " x " + Word("UTF-8", 'B', utf8.substr(2)),
       u"\uFFFD x \uFFFD本"},
      // a malformed word between them is text too
      {Word("UTF-8", 'B', utf8.substr(0, 2)) + " =?UTF-8?B?!?= " + Word("UTF-8", 'B', utf8.substr(2)),
       u"\uFFFD =?UTF-8?B?!?= \uFFFD本"},
  });
}

TEST(DecodeHeaderValue, BlanksBetweenWordsDroppedOtherTextKept) {
  const std::string a = Word("UTF-8", 'Q', "a"), b = Word("ISO-8859-1", 'B', "b");
  ExpectTexts({
      {a + " " + b, u"ab"},                // also between charsets
      {a + " \t \r\n " + b, u"ab"},
      {a + b, u"ab"},
      {a + " - " + b, u"a - b"},
      {"Re: " + a + " " + b + " end", u"Re: ab end"},
      {"[ml:0042]" + a + "text", u"[ml:0042]atext"},  // words that touch text are words too
      {"\"" + a + "\" <a@example.jp>", u"\"a\" <a@example.jp>"},
      {a + " " + Word("UTF-8", 'Q', " b "), u"a b "},  // blanks inside words are kept
  });
}

TEST(DecodeHeaderValue, MalformedWordsStandAsTheyAre) {
  ExpectTexts({
      {"=?UTF-8?B?5p!l?=", u"=?UTF-8?B?5p!l?="},          // not base64
      {"=?UTF-8?B?5pelA?=", u"=?UTF-8?B?5pelA?="},        // a lone sixth of a byte
      {"=?UTF-8?B?YQ==YQ==?=", u"=?UTF-8?B?YQ==YQ==?="},  // padding inside
      {"=?UTF-8?B?YQ===?=", u"=?UTF-8?B?YQ===?="},
      {"=?KOI8-R?B?5pel?=", u"=?KOI8-R?B?5pel?="},        // a charset we cannot read
      {"=?UTF-8?B?5pel", u"=?UTF-8?B?5pel"},              // no "?="
      {"=?UTF-8?B?5pel?", u"=?UTF-8?B?5pel?"},
      {"=?UTF-8?X?abc?=", u"=?UTF-8?X?abc?="},            // no such encoding
      {"=?UTF-8?Q?a b?=", u"=?UTF-8?Q?a b?="},            // a blank inside
      {"=??B?YQ==?=", u"=??B?YQ==?="},                    // no charset
      {"=?*ja?B?YQ==?=", u"=?*ja?B?YQ==?="},
      {"=? =?=?==??", u"=? =?=?==??"},
      {"=?bad=?UTF-8?B?5pel?=", u"=?bad日"},             // a good word right after a bad start
  });
}

TEST(DecodeHeaderValue, RawBytesAsUtf8ElseCodePage932) {
  ExpectTexts({
      {Utf8(u"件名 テスト ｱ"), u"件名 テスト ｱ"},
      {kSjisKenmei + " \xB1\xB2", u"件名 ｱｲ"},                         // not UTF-8
      {"\xC3\xA9", u"é"},                                             // valid UTF-8 wins (not ﾃｩ)
      {"\xC3\xA9 " + kSjisKenmei, u"ﾃｩ 件名"},                         // not all UTF-8: all code page 932
      {"\xC3\xA9 " + Word("UTF-8", 'Q', "x") + " " + kSjisKenmei, u"ﾃｩ x 件名"},  // for the whole value
      {kSjisKenmei + ": " + Word("UTF-8", 'B', Utf8(u"日本")), u"件名: 日本"},
      {Utf8(u"件名: ") + Word("ISO-2022-JP", 'B', kJisNihon), u"件名: 日本"},
      {"\x1B$B7oL>\x1B(B: test", u"件名: test"},                       // raw ISO-2022-JP
      {"Fwd: \x1B$B7oL>\x1B(B " + Word("UTF-8", 'Q', "x"), u"Fwd: 件名 x"},
  });
}

TEST(DecodeHeaderValue, ControlCharactersMakeNoSecondLine) {
  ExpectTexts({
      {"a\tb", u"a b"},
      {std::string("a\0b", 3), u"a\uFFFDb"},
      {"a\x1B" "b\x7F", u"a\uFFFDb\uFFFD"},                             // ESC without a designation
      {Word("UTF-8", 'Q', std::string("a\tb\r\nc\0d", 8)), u"a b  c\uFFFDd"},
      {Word("UTF-8", 'B', "\xC2\x85x"), u"\uFFFDx"},                   // C1 (NEL)
  });
}

TEST(DecodeHeaderValue, OutputBound) {
  const std::size_t n = kMaxDecodedUnits;
  EXPECT_EQ(DecodeHeaderValue(std::string(n, 'a')), std::u16string(n, u'a'));
  EXPECT_EQ(DecodeHeaderValue(std::string(n + 1, 'a')), std::u16string(n, u'a'));
  EXPECT_EQ(DecodeHeaderValue(std::string(n - 1, 'a') + Utf8(u"日")), std::u16string(n - 1, u'a') + u"日");
  // A character that would not fit whole is left out.
  EXPECT_EQ(DecodeHeaderValue(std::string(n - 1, 'a') + Utf8(u"𠮷")), std::u16string(n - 1, u'a'));
  // Many words of one charset, decoded together, stop at the bound too.
  std::string words;
  for (std::size_t i = 0; i < n + 5; ++i) words += Word("UTF-8", 'Q', "b") + " ";
  EXPECT_EQ(DecodeHeaderValue(words), std::u16string(n, u'b'));
}

// From the bytes of a TOP reply to the text a user sees.
TEST(DecodeHeaderValue, FoldedSubjectOfATopReply) {
  const std::string reply =
      "+OK\r\n"
      "From: " + Word("ISO-2022-JP", 'B', "\x1B$B;3ED\x1B(B") + " <yamada@example.jp>\r\n"  // 山田
      "Subject: Re: " + Word("ISO-2022-JP", 'B', kJisNihongo.substr(0, 6)) + "\r\n"
      "\t" + Word("ISO-2022-JP", 'B', kJisNihongo.substr(6)) + "\r\n"
      "Date: Mon, 4 May 2026 09:15:00 +0900\r\n"
      "\r\n"
      ".\r\n";
  EXPECT_EQ(DecodeHeaderValue(HeaderFieldValue(reply, "subject")), u"Re: 日本語のテスト");
  EXPECT_EQ(DecodeHeaderValue(HeaderFieldValue(reply, "FROM")), u"山田 <yamada@example.jp>");
  EXPECT_EQ(DecodeHeaderValue(HeaderFieldValue(reply, "Date")), u"Mon, 4 May 2026 09:15:00 +0900");
}

}  // namespace
}  // namespace zepho

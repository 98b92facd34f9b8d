#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "unit/fakes/memory_profile.h"

namespace zepho {
namespace {

using testing::MemoryProfile;

// ---------------------------------------------------------------- integers

TEST(SettingsInt, ParseTable) {
  struct Case { std::string text; std::int32_t want; };
  const std::int32_t d = 99;
  const Case cases[] = {
      {"0x6E", 110},
      {"0X6e", 110},
      {"0XfF", 255},
      {"0x00000010", 16},
      {"0x0", 0},
      {"0x7FFFFFFF", INT32_MAX},
      {"0x80000000", INT32_MIN},
      {"0xFFFFFFFF", -1},              // a 32-bit pattern
      {"0x123456789", d},              // more than 8 digits
      {"0x", d},
      {"0X", d},
      {"0xg", d},
      {"0x1g", d},
      {"0x-1", d},
      {"0x 1", d},
      {"-0x10", d},
      {"abc", d},
      {"", d},
      {"0", 0},
      {"-0", 0},
      {"007", 7},
      {"-5", -5},
      {"+5", 5},
      {"-", d},
      {"+", d},
      {"5x", d},
      {"1 2", d},
      {" 5", d},
      {"2147483647", INT32_MAX},
      {"2147483648", d},
      {"-2147483648", INT32_MIN},
      {"-2147483649", d},
      {"99999999999999999999", d},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseProfileInt(c.text, d), c.want) << "'" << c.text << "'";
}

TEST(SettingsInt, ReadGoesThroughTheProfile) {
  MemoryProfile p;
  p.Set("NETWORK", "PopPort", "0x6E");
  p.Set("NETWORK", "Quoted", "\"42\"");
  p.Set("NETWORK", "Blank", "  17 ");
  EXPECT_EQ(ReadProfileInt(p, "NETWORK", "PopPort", 1), 110);
  EXPECT_EQ(ReadProfileInt(p, "network", "popport", 1), 110);
  EXPECT_EQ(ReadProfileInt(p, "NETWORK", "Quoted", 1), 42);
  EXPECT_EQ(ReadProfileInt(p, "NETWORK", "Blank", 1), 17);
  EXPECT_EQ(ReadProfileInt(p, "NETWORK", "Missing", -3), -3);
  EXPECT_TRUE(p.log.empty());
}

// ---------------------------------------------------------------- load

TEST(SettingsLoad, FirstStartOnNoFile) {
  MemoryProfile p;
  Settings s;
  LoadSettings(p, s);
  EXPECT_EQ(s, Settings{});
  EXPECT_EQ(s.PopPort, 110);
  EXPECT_EQ(s.PopTime, 3);
  EXPECT_EQ(p.Text(), "[OTHER]\nRecvSleep=0\n");
  EXPECT_EQ(p.log, std::vector<std::string>{"W OTHER/RecvSleep=0"});
}

// Every key lands in its own field: a swapped key or section shows here.
TEST(SettingsLoad, EachKeyIntoItsField) {
  MemoryProfile p;
  p.Set("NETWORK", "PopAddress", "\"pop.example.jp\"");
  p.Set("NETWORK", "PopAcount", "\"taro\"");
  p.Set("NETWORK", "PopPort", "995");
  p.Set("NETWORK", "Apop", "1");
  p.Set("NETWORK", "Passwd", "HOJMLUNTP[R[");
  p.Set("OTHER", "InboxMove", "2");
  p.Set("OTHER", "PopTime", "9");
  p.Set("OTHER", "PopUpSetting", "3");
  p.Set("OTHER", "NotPopup", "4");
  p.Set("OTHER", "RecvDo", "5");
  p.Set("OTHER", "RetrySearchToNozari", "6");
  p.Set("OTHER", "RecvSleep", "4");
  p.Set("OTHER", "IconChange", "8");
  p.Set("OTHER", "AllIconChange", "-9");
  p.Set("OTHER", "AccountTitle", "\"main\"");
  p.Set("OTHER", "AccountPath", "\"C:\\Mail\\main\"");
  p.Set("OTHER", "LOG", "10");
  // Same names in the other sections must not be picked up.
  p.Set("CHECKADDRESS", "PopTime", "77");
  p.Set("OTHER", "PopPort", "77");

  Settings s;
  LoadSettings(p, s);
  Settings want;
  want.PopAddress = "pop.example.jp";
  want.PopAcount = "taro";
  want.PopPort = 995;
  want.Apop = 1;
  want.Passwd = "abc";
  want.InboxMove = 2;
  want.PopTime = 9;
  want.PopUpSetting = 3;
  want.NotPopup = 4;
  want.RecvDo = 5;
  want.RetrySearchToNozari = 6;
  want.RecvSleep = 4;
  want.IconChange = 8;
  want.AllIconChange = -9;
  want.AccountTitle = "main";
  want.AccountPath = "C:\\Mail\\main";
  want.LOG = 10;
  EXPECT_EQ(s, want);
  EXPECT_TRUE(p.log.empty()) << "a nonzero RecvSleep is not written back";
}

// Integers keep the value in memory when absent or unreadable; strings and LOG do not.
TEST(SettingsLoad, LaterLoadKeepsIntegersFromMemory) {
  MemoryProfile p;
  p.Set("OTHER", "PopTime", "abc");
  p.Set("OTHER", "RecvSleep", "0x");
  Settings s;
  s.PopTime = 15;
  s.PopPort = 995;
  s.RecvSleep = 2;
  s.IconChange = 1;
  s.LOG = 1;
  s.AccountTitle = "old";
  s.PopAddress = "old.example.jp";
  s.Passwd = "secret";
  LoadSettings(p, s);
  EXPECT_EQ(s.PopTime, 15);
  EXPECT_EQ(s.PopPort, 995);
  EXPECT_EQ(s.RecvSleep, 2);
  EXPECT_EQ(s.IconChange, 1);
  EXPECT_EQ(s.LOG, 0);
  EXPECT_EQ(s.AccountTitle, "");
  EXPECT_EQ(s.PopAddress, "");
  EXPECT_EQ(s.Passwd, "");
  EXPECT_TRUE(p.log.empty());
}

TEST(SettingsLoad, StringBlanksSurviveOnlyInQuotes) {
  struct Case { std::string raw, want; };
  const Case cases[] = {
      {"\"  taro  \"", "  taro  "},
      {"  taro  ", "taro"},
      {"'  taro '", "  taro "},
      {"\"a \"b\" c\"", "a \"b\" c"},
      {"\"\"", ""},
  };
  for (const Case& c : cases) {
    MemoryProfile p;
    p.Set("NETWORK", "PopAcount", c.raw);
    Settings s;
    LoadSettings(p, s);
    EXPECT_EQ(s.PopAcount, c.want) << c.raw;
  }
}

// The write-back of RecvSleep can fail (a read-only folder): the error is
// reported, but the whole file, the password included, is still loaded.
TEST(SettingsLoad, FailedRecvSleepWriteStillLoadsEverything) {
  MemoryProfile p(L"D:\\ro\\ZEPHO.ini");
  p.Set("NETWORK", "PopPort", "111");
  p.Set("NETWORK", "Passwd", "HOJMLUNTP[R[");
  p.fail_writes_from = 0;
  Settings s;
  s.Passwd = "before";
  try {
    LoadSettings(p, s);
    FAIL() << "no error";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(e.path(), L"D:\\ro\\ZEPHO.ini");
  }
  EXPECT_EQ(s.PopPort, 111);
  EXPECT_EQ(s.Passwd, "abc");
  EXPECT_EQ(p.FindKey("OTHER", "RecvSleep"), nullptr);
}

// ---------------------------------------------------------------- save

Settings SampleSettings() {
  Settings s;
  s.PopAddress = "pop.example.jp";
  s.PopAcount = " taro ";
  s.PopPort = 110;
  s.Apop = 1;
  s.Passwd = "abc";
  s.InboxMove = 1;
  s.PopTime = 5;
  s.PopUpSetting = 0;
  s.NotPopup = -1;
  s.RecvDo = 1;
  s.RetrySearchToNozari = 0;
  s.RecvSleep = 3;
  s.IconChange = 1;
  s.AllIconChange = 0;
  s.AccountTitle = "main";
  s.AccountPath = "C:\\Mail\\ma in\\";
  s.LOG = 1;
  return s;
}

const std::vector<std::string> kSampleSaveLog = {
    "W NETWORK/PopAddress=\"pop.example.jp\"",
    "W NETWORK/PopAcount=\" taro \"",
    "W NETWORK/PopPort=110",
    "W NETWORK/Apop=1",
    "W OTHER/InboxMove=1",
    "W OTHER/PopTime=5",
    "W OTHER/PopUpSetting=0",
    "W OTHER/NotPopup=-1",
    "W OTHER/RecvDo=1",
    "W OTHER/RetrySearchToNozari=0",
    "W OTHER/IconChange=1",
    "W OTHER/AllIconChange=0",
    "W OTHER/AccountTitle=\"main\"",
    "W OTHER/AccountPath=\"C:\\Mail\\ma in\\\"",
    "W NETWORK/Passwd=HOJMLUNTP[R[",
};

TEST(SettingsSave, FileFromNothing) {
  MemoryProfile p;
  Settings s;
  LoadSettings(p, s);
  p.log.clear();
  SaveSettings(p, SampleSettings());
  EXPECT_EQ(p.log, kSampleSaveLog);
  EXPECT_EQ(p.Text(),
            "[OTHER]\n"
            "RecvSleep=0\n"
            "InboxMove=1\n"
            "PopTime=5\n"
            "PopUpSetting=0\n"
            "NotPopup=-1\n"
            "RecvDo=1\n"
            "RetrySearchToNozari=0\n"
            "IconChange=1\n"
            "AllIconChange=0\n"
            "AccountTitle=\"main\"\n"
            "AccountPath=\"C:\\Mail\\ma in\\\"\n"
            "[NETWORK]\n"
            "PopAddress=\"pop.example.jp\"\n"
            "PopAcount=\" taro \"\n"
            "PopPort=110\n"
            "Apop=1\n"
            "Passwd=HOJMLUNTP[R[\n");
}

TEST(SettingsSave, RecvSleepAndLogAreLeftAlone) {
  MemoryProfile p;
  p.Set("OTHER", "RecvSleep", "4");
  p.Set("OTHER", "LOG", "1");
  Settings s;
  LoadSettings(p, s);
  EXPECT_EQ(s.RecvSleep, 4);
  EXPECT_TRUE(p.log.empty());
  s.RecvSleep = 0;
  s.LOG = 0;
  SaveSettings(p, s);
  EXPECT_EQ(p.FindKey("OTHER", "RecvSleep")->value, "4");
  EXPECT_EQ(p.FindKey("OTHER", "LOG")->value, "1");
}

TEST(SettingsSave, SavedRecordLoadsBack) {
  MemoryProfile p;
  const Settings saved = SampleSettings();
  SaveSettings(p, saved);
  Settings loaded;
  loaded.RecvSleep = saved.RecvSleep;  // never saved, kept from memory
  LoadSettings(p, loaded);
  Settings want = saved;
  want.LOG = 0;  // never saved, not kept
  EXPECT_EQ(loaded, want);
}

TEST(SettingsSave, EmptyPasswordStoredEmpty) {
  MemoryProfile p;
  Settings s = SampleSettings();
  s.Passwd.clear();
  SaveSettings(p, s);
  EXPECT_EQ(p.FindKey("NETWORK", "Passwd")->value, "");
  Settings loaded;
  loaded.Passwd = "x";
  LoadSettings(p, loaded);
  EXPECT_EQ(loaded.Passwd, "");
}

// A failing write at any position: the keys before it are in the file, the
// failing one and all later ones are not.
TEST(SettingsSave, FailedWriteStopsAtThatKey) {
  for (std::size_t fail = 0; fail < kSampleSaveLog.size(); ++fail) {
    MemoryProfile p(L"C:\\Program Files\\ZEPHO\\ZEPHO.ini");
    p.fail_writes_from = static_cast<int>(fail);
    try {
      SaveSettings(p, SampleSettings());
      ADD_FAILURE() << "no error at write " << fail;
    } catch (const SettingsWriteError& e) {
      EXPECT_EQ(e.path(), L"C:\\Program Files\\ZEPHO\\ZEPHO.ini");
    }
    EXPECT_EQ(p.writes_done, static_cast<int>(fail) + 1) << "writes tried after the failure";
    ASSERT_EQ(p.log.size(), fail);
    for (std::size_t i = 0; i < kSampleSaveLog.size(); ++i) {
      const std::string& entry = kSampleSaveLog[i];
      const std::size_t slash = entry.find('/');
      const std::string section = entry.substr(2, slash - 2);
      const std::string key = entry.substr(slash + 1, entry.find('=') - slash - 1);
      EXPECT_EQ(p.FindKey(section, key) != nullptr, i < fail) << key << " at fail " << fail;
    }
  }
}

// ---------------------------------------------------------------- connection security

TEST(SettingsTls, ModeTable) {
  struct Case { std::optional<std::string> raw; std::int32_t want; };
  const Case cases[] = {
      {std::nullopt, kTlsNone}, {"0", kTlsNone}, {"1", kTlsStls}, {"2", kTlsImplicit},
      {"0x2", kTlsImplicit},    {" 1 ", kTlsStls}, {"3", kTlsNone}, {"-1", kTlsNone},
      {"abc", kTlsNone},        {"", kTlsNone},
  };
  for (const Case& c : cases) {
    MemoryProfile p;
    if (c.raw) p.Set("NETWORK", "Tls", *c.raw);
    Settings s;
    s.Tls = kTlsImplicit;  // memory does not survive an absent or unknown value
    LoadSettings(p, s);
    EXPECT_EQ(s.Tls, c.want) << (c.raw ? *c.raw : "(absent)");
  }
}

TEST(SettingsTls, PinReadAsStored) {
  MemoryProfile p;
  p.Set("NETWORK", "TlsCertSha256", "\"AB:cd:01\"");
  Settings s;
  LoadSettings(p, s);
  EXPECT_EQ(s.TlsCertSha256, "AB:cd:01");
}

// A user who never chose TLS: loading and saving keeps exactly the same keys,
// values and order as before the setting existed.
TEST(SettingsTls, FileWithoutTheKeysStaysAsItWas) {
  MemoryProfile p;
  SaveSettings(p, SampleSettings());
  Settings s;
  LoadSettings(p, s);  // writes RecvSleep=0
  const std::string before = p.Text();
  p.log.clear();
  SaveSettings(p, s);
  EXPECT_EQ(p.log, kSampleSaveLog);
  EXPECT_EQ(p.Text(), before);
  EXPECT_EQ(p.Text().find("Tls"), std::string::npos);
}

TEST(SettingsTls, WrittenAfterTheOtherKeysOnlyWhenSetOrPresent) {
  const std::string pin(64, 'a');
  struct Case {
    const char* name;
    std::optional<std::string> tls_in_file, pin_in_file;
    std::int32_t tls;
    std::string pin;
    std::vector<std::string> extra;  // writes after all the other keys
  };
  const Case cases[] = {
      {"nothing chosen", std::nullopt, std::nullopt, kTlsNone, "", {}},
      {"implicit with a pin", std::nullopt, std::nullopt, kTlsImplicit, pin,
       {"W NETWORK/Tls=2", "W NETWORK/TlsCertSha256=\"" + pin + "\""}},
      {"STLS without a pin", std::nullopt, std::nullopt, kTlsStls, "", {"W NETWORK/Tls=1"}},
      {"a pin alone", std::nullopt, std::nullopt, kTlsNone, pin,
       {"W NETWORK/TlsCertSha256=\"" + pin + "\""}},
      {"turned off again keeps the key", "2", std::nullopt, kTlsNone, "", {"W NETWORK/Tls=0"}},
      {"an unknown value is saved as plain", "7", std::nullopt, kTlsNone, "",
       {"W NETWORK/Tls=0"}},
      {"a removed pin is emptied", "1", pin, kTlsStls, "",
       {"W NETWORK/Tls=1", "W NETWORK/TlsCertSha256=\"\""}},
  };
  for (const Case& c : cases) {
    MemoryProfile p;
    if (c.tls_in_file) p.Set("NETWORK", "Tls", *c.tls_in_file);
    if (c.pin_in_file) p.Set("NETWORK", "TlsCertSha256", *c.pin_in_file);
    Settings s = SampleSettings();
    s.Tls = c.tls;
    s.TlsCertSha256 = c.pin;
    SaveSettings(p, s);
    std::vector<std::string> want = kSampleSaveLog;
    want.insert(want.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(p.log, want) << c.name;
    Settings loaded;
    LoadSettings(p, loaded);
    EXPECT_EQ(loaded.Tls, c.tls) << c.name;
    EXPECT_EQ(loaded.TlsCertSha256, c.pin) << c.name;
  }
}

// ---------------------------------------------------------------- the balloon

TEST(SettingsBalloon, OnOnlyForOne) {
  struct Case { std::optional<std::string> raw; std::int32_t want; };
  const Case cases[] = {
      {std::nullopt, 0}, {"1", 1}, {" 1 ", 1}, {"0x1", 1}, {"0", 0},
      {"2", 0},          {"-1", 0}, {"yes", 0}, {"", 0},
  };
  for (const Case& c : cases) {
    MemoryProfile p;
    if (c.raw) p.Set("OTHER", "Balloon", *c.raw);
    Settings s;
    s.Balloon = 1;  // memory does not survive an absent or other value
    LoadSettings(p, s);
    EXPECT_EQ(s.Balloon, c.want) << (c.raw ? *c.raw : "(absent)");
  }
}

// Absent stays absent through loads and saves; set or present, it is written
// after every other key.
TEST(SettingsBalloon, WrittenOnlyWhenSetOrPresent) {
  struct Case {
    const char* name;
    std::optional<std::string> in_file;
    std::int32_t balloon;
    std::vector<std::string> extra;
  };
  const Case cases[] = {
      {"never chosen", std::nullopt, 0, {}},
      {"chosen", std::nullopt, 1, {"W OTHER/Balloon=1"}},
      {"turned off again keeps the key", "1", 0, {"W OTHER/Balloon=0"}},
      {"another value is saved as off", "5", 0, {"W OTHER/Balloon=0"}},
  };
  for (const Case& c : cases) {
    MemoryProfile p;
    if (c.in_file) p.Set("OTHER", "Balloon", *c.in_file);
    Settings s = SampleSettings();
    s.Balloon = c.balloon;
    SaveSettings(p, s);
    std::vector<std::string> want = kSampleSaveLog;
    want.insert(want.end(), c.extra.begin(), c.extra.end());
    EXPECT_EQ(p.log, want) << c.name;
    EXPECT_EQ(p.Text().find("Balloon") != std::string::npos, c.in_file || c.balloon) << c.name;
    Settings loaded;
    LoadSettings(p, loaded);
    EXPECT_EQ(loaded.Balloon, c.balloon) << c.name;
  }
}

// ---------------------------------------------------------------- password

TEST(SettingsPassword, WorkedExample) {
  EXPECT_EQ(ScramblePassword("abc"), "JFLINL");
  EXPECT_EQ(ScramblePassword("JFLINL"), "HOJMLUNTP[R[");
  EXPECT_EQ(UnscramblePassword("HOJMLUNTP[R["), "JFLINL");
  EXPECT_EQ(UnscramblePassword("JFLINL"), "abc");
  EXPECT_EQ(StoredPasswordValue("abc"), "HOJMLUNTP[R[");
  EXPECT_EQ(PasswordFromStoredValue("HOJMLUNTP[R["), "abc");
}

TEST(SettingsPassword, ScrambleWrapsModulo256) {
  // Byte 95 of 0xFF: high nibble 15 + 68 + 190 = 273 -> 17.
  const std::string plain(96, '\xFF');
  const std::string once = ScramblePassword(plain);
  ASSERT_EQ(once.size(), 192u);
  EXPECT_EQ(static_cast<unsigned char>(once[190]), 17);
  EXPECT_EQ(static_cast<unsigned char>(once[191]), 18);
  EXPECT_EQ(UnscramblePassword(once), plain);
}

TEST(SettingsPassword, UnscrambleIgnoresOddLastByte) {
  EXPECT_EQ(UnscramblePassword(""), "");
  EXPECT_EQ(UnscramblePassword("J"), "");
  EXPECT_EQ(UnscramblePassword("JFLINLx"), "abc");
}

// Every byte value at every position of every storable length.
TEST(SettingsPassword, StoredFormRoundTripsUpTo43Bytes) {
  for (std::size_t len = 1; len <= kMaxStoredPasswordBytes; ++len) {
    for (int v = 0; v < 256; ++v) {
      std::string plain(len, '\0');
      for (std::size_t i = 0; i < len; ++i) plain[i] = static_cast<char>((v + 37 * i) & 0xFF);
      const std::string stored = ScramblePassword(ScramblePassword(plain));
      ASSERT_EQ(stored.size(), 4 * len);
      for (unsigned char c : stored)
        ASSERT_TRUE(c >= 0x45 && c <= 0xFE) << "len " << len << " v " << v << " byte " << int(c);
      ASSERT_EQ(UnscramblePassword(UnscramblePassword(stored)), plain);
      // A zero byte cannot be kept on the platform, so such a password is not stored.
      const bool has_zero = plain.find('\0') != std::string::npos;
      ASSERT_EQ(StoredPasswordValue(plain), has_zero ? "" : stored);
      if (!has_zero) {
        ASSERT_EQ(PasswordFromStoredValue(stored), plain);
      }
    }
  }
}

TEST(SettingsPassword, TooLongPasswordIsStoredEmpty) {
  struct Case { std::size_t len; bool stored; };
  const Case cases[] = {{43, true}, {44, false}, {64, false}, {300, false}};
  for (const Case& c : cases) {
    MemoryProfile p;
    Settings s = SampleSettings();
    s.Passwd = std::string(c.len, 'p');
    SaveSettings(p, s);
    EXPECT_EQ(s.Passwd, std::string(c.len, 'p'));
    EXPECT_EQ(p.FindKey("NETWORK", "Passwd")->value.size(), c.stored ? 4 * c.len : 0) << c.len;
    Settings loaded;
    LoadSettings(p, loaded);
    EXPECT_EQ(loaded.Passwd, c.stored ? s.Passwd : "") << c.len;
  }
}

TEST(SettingsPassword, BadStoredFormMeansNoPassword) {
  const std::string abc = "HOJMLUNTP[R[";
  const std::string long44 = ScramblePassword(ScramblePassword(std::string(44, 'q')));
  const std::string cases[] = {
      "HOJMLUNTP[R",                                  // not a multiple of 4
      abc + "X",
      "HO",
      "AAAA",                                         // not made by scrambling
      "HOJMLUNTP[R\xFF",
      "hojmlunt",
      "HOJM LUNTP[R[",
      long44,                                         // longer than 172 bytes
      std::string(1000, 'x'),
      ScramblePassword(ScramblePassword(std::string("a\0b", 3))),  // restores a zero byte
  };
  for (const std::string& stored : cases) {
    EXPECT_EQ(PasswordFromStoredValue(stored), "") << stored;
    MemoryProfile p;
    p.Set("NETWORK", "Passwd", stored);
    Settings s;
    s.Passwd = "in memory";
    LoadSettings(p, s);
    EXPECT_EQ(s.Passwd, "") << stored;
  }
  EXPECT_EQ(PasswordFromStoredValue(ScramblePassword(ScramblePassword(std::string(43, 'q')))),
            std::string(43, 'q'));
}

// ---------------------------------------------------------------- check addresses

void SetEntry(MemoryProfile& p, int i, const std::string& header, const std::string& address) {
  p.Set("CHECKADDRESS", "CheckString" + std::to_string(i), "\"" + header + "\"");
  p.Set("CHECKADDRESS", "CheckString" + std::to_string(i) + "+A", "\"" + address + "\"");
}

bool Same(const CheckAddress& a, const CheckAddress& b) {
  return a.number == b.number && a.header == b.header && a.address == b.address;
}

TEST(SettingsCheckAddress, ReadSkipsEmptyHeaderAndKeysAboveCount) {
  MemoryProfile p;
  p.Set("CHECKADDRESS", "SettingNumber", "3");
  SetEntry(p, 1, "From:", " taro@example.jp ");
  SetEntry(p, 2, "", "orphan@example.jp");
  SetEntry(p, 3, "X-ML-Name:", "");
  SetEntry(p, 4, "To:", "above@example.jp");
  const std::vector<CheckAddress> got = ReadCheckAddresses(p);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(Same(got[0], {1, "From:", " taro@example.jp "}));
  EXPECT_TRUE(Same(got[1], {3, "X-ML-Name:", ""}));
  EXPECT_TRUE(p.log.empty());

  // Saved again, they become entries 1 and 2; the hand-left key 4 stays.
  WriteCheckAddresses(p, got);
  EXPECT_EQ(p.FindKey("CHECKADDRESS", "SettingNumber")->value, "2");
  const std::vector<CheckAddress> again = ReadCheckAddresses(p);
  ASSERT_EQ(again.size(), 2u);
  EXPECT_TRUE(Same(again[0], {1, "From:", " taro@example.jp "}));
  EXPECT_TRUE(Same(again[1], {2, "X-ML-Name:", ""}));
  EXPECT_EQ(p.FindKey("CHECKADDRESS", "CheckString3"), nullptr);
  EXPECT_EQ(p.FindKey("CHECKADDRESS", "CheckString4")->value, "\"To:\"");
}

TEST(SettingsCheckAddress, OverwriteThreeByOne) {
  MemoryProfile p;
  p.Set("CHECKADDRESS", "SettingNumber", "3");
  for (int i = 1; i <= 3; ++i) SetEntry(p, i, "From:", "a" + std::to_string(i));
  WriteCheckAddresses(p, {{0, "Cc:", "list@example.jp"}});
  const std::vector<std::string> want = {
      "D CHECKADDRESS/CheckString1",
      "D CHECKADDRESS/CheckString1+A",
      "D CHECKADDRESS/CheckString2",
      "D CHECKADDRESS/CheckString2+A",
      "D CHECKADDRESS/CheckString3",
      "D CHECKADDRESS/CheckString3+A",
      "W CHECKADDRESS/SettingNumber=1",
      "W CHECKADDRESS/CheckString1=\"Cc:\"",
      "W CHECKADDRESS/CheckString1+A=\"list@example.jp\"",
  };
  EXPECT_EQ(p.log, want);
  EXPECT_EQ(p.Text(),
            "[CHECKADDRESS]\n"
            "SettingNumber=1\n"
            "CheckString1=\"Cc:\"\n"
            "CheckString1+A=\"list@example.jp\"\n");
}

// Counts at or below zero, unreadable or huge: nothing, or the entries the file
// holds, and never more than kMaxStoredCheckAddresses entries' worth of reads or
// deletes. A hand-edited list longer than 20 is read as it is.
TEST(SettingsCheckAddress, CountsOutOfRange) {
  constexpr int kBound = kMaxStoredCheckAddresses;
  struct Case { std::string count; std::size_t entries; int deletes; };
  const Case cases[] = {
      {"", 0, 0},
      {"0", 0, 0},
      {"-1", 0, 0},
      {"-2147483648", 0, 0},
      {"abc", 0, 0},
      {"2", 2, 4},
      {"20", 20, 40},
      {"21", 21, 42},
      {"25", 25, 50},
      {"2000000000", 25, 2 * kBound},
      {"0x7FFFFFFF", 25, 2 * kBound},
  };
  for (const Case& c : cases) {
    MemoryProfile p;
    if (!c.count.empty()) p.Set("CHECKADDRESS", "SettingNumber", c.count);
    for (int i = 1; i <= 25; ++i) SetEntry(p, i, "From:", "a" + std::to_string(i));
    const std::vector<CheckAddress> got = ReadCheckAddresses(p);
    EXPECT_EQ(got.size(), c.entries) << c.count;
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].number, static_cast<int>(i) + 1);
    EXPECT_LE(p.reads, 1 + 2 * kBound) << c.count;

    WriteCheckAddresses(p, {});
    ASSERT_EQ(p.log.size(), static_cast<std::size_t>(c.deletes) + 1) << c.count;
    EXPECT_EQ(p.log.back(), "W CHECKADDRESS/SettingNumber=0");
    EXPECT_TRUE(ReadCheckAddresses(p).empty());
  }
}

// What new-mail detection reads stops at its 20 slots.
TEST(SettingsCheckAddress, ReadLimitedToTheGivenCount) {
  MemoryProfile p;
  p.Set("CHECKADDRESS", "SettingNumber", "2000000000");
  for (int i = 1; i <= 25; ++i) SetEntry(p, i, "From:", "a" + std::to_string(i));
  const std::vector<CheckAddress> got = ReadCheckAddresses(p, kMaxCheckAddresses);
  ASSERT_EQ(got.size(), 20u);
  EXPECT_TRUE(Same(got[19], {20, "From:", "a20"}));
  EXPECT_LE(p.reads, 1 + 2 * kMaxCheckAddresses);
}

// A list longer than 20 (from a hand-edited file) is saved whole; beyond the
// bound it is cut.
TEST(SettingsCheckAddress, LongListsAreSavedAsTheyAre) {
  struct Case { int given; int stored; };
  for (const Case c : {Case{25, 25}, Case{kMaxStoredCheckAddresses + 5, kMaxStoredCheckAddresses}}) {
    std::vector<CheckAddress> entries;
    for (int i = 1; i <= c.given; ++i) entries.push_back({0, "To:", "x" + std::to_string(i)});
    MemoryProfile p;
    WriteCheckAddresses(p, entries);
    EXPECT_EQ(p.FindKey("CHECKADDRESS", "SettingNumber")->value, std::to_string(c.stored));
    EXPECT_EQ(p.FindKey("CHECKADDRESS", "CheckString" + std::to_string(c.stored) + "+A")->value,
              "\"x" + std::to_string(c.stored) + "\"");
    EXPECT_EQ(p.FindKey("CHECKADDRESS", "CheckString" + std::to_string(c.stored + 1)), nullptr);
    const std::vector<CheckAddress> got = ReadCheckAddresses(p);
    ASSERT_EQ(got.size(), static_cast<std::size_t>(c.stored));
    EXPECT_TRUE(Same(got[20], {21, "To:", "x21"}));
  }
}

TEST(SettingsCheckAddress, FailedDeleteStopsTheWrite) {
  MemoryProfile p(L"C:\\Z\\ZEPHO.ini");
  p.Set("CHECKADDRESS", "SettingNumber", "2");
  SetEntry(p, 1, "From:", "a");
  SetEntry(p, 2, "To:", "b");
  p.fail_writes_from = 1;
  EXPECT_THROW(WriteCheckAddresses(p, {{0, "Cc:", "c"}}), SettingsWriteError);
  EXPECT_EQ(p.log, std::vector<std::string>{"D CHECKADDRESS/CheckString1"});
  EXPECT_EQ(p.writes_done, 2) << "nothing is tried after the failed delete";
  EXPECT_NE(p.FindKey("CHECKADDRESS", "CheckString1+A"), nullptr);
  EXPECT_EQ(p.FindKey("CHECKADDRESS", "SettingNumber")->value, "2");
}

}  // namespace
}  // namespace zepho

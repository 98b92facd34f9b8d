#include "settings/document_profile.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "settings/settings_file.h"
#include "unit/fakes/memory_ini_file.h"
#include "unit/fakes/memory_profile.h"
#include "unit/fakes/table_codec932.h"

namespace zepho {
namespace {

using testing::MemoryIniFile;
using testing::MemoryProfile;
using testing::TableCodec932;

// A profile over the document of an in-memory file that the test keeps watching.
struct Fixture {
  explicit Fixture(std::optional<std::string> bytes = std::nullopt) {
    auto owned = std::make_unique<MemoryIniFile>(std::move(bytes));
    file = owned.get();
    profile = std::make_unique<DocumentProfile>(std::move(owned), TableCodec932::Instance());
  }
  MemoryIniFile* file;
  std::unique_ptr<DocumentProfile> profile;
};

// Every write or delete after the first `fail_at` ones fails, as a document
// refusing it would; everything else goes to the profile beneath.
class FailingProfile : public Profile {
 public:
  FailingProfile(Profile& inner, int fail_at) : inner_(inner), fail_at_(fail_at) {}
  std::wstring Path() const override { return inner_.Path(); }
  std::string ReadString(const std::string& s, const std::string& k, const std::string& d) override {
    return inner_.ReadString(s, k, d);
  }
  bool WriteString(const std::string& s, const std::string& k, const std::string& v) override {
    return Next() && inner_.WriteString(s, k, v);
  }
  bool DeleteKey(const std::string& s, const std::string& k) override {
    return Next() && inner_.DeleteKey(s, k);
  }
  void BeginUpdate() override { inner_.BeginUpdate(); }
  bool CommitUpdate() override { return inner_.CommitUpdate(); }
  void DiscardUpdate() override { inner_.DiscardUpdate(); }
  int calls = 0;

 private:
  bool Next() { return calls++ < fail_at_; }
  Profile& inner_;
  int fail_at_;
};

Settings Sample() {
  Settings s;
  s.PopAddress = "pop.example.jp";
  s.PopAcount = " taro ";
  s.Apop = 1;
  s.Passwd = "abc";
  s.InboxMove = 1;
  s.PopTime = 5;
  s.NotPopup = -1;
  s.RecvDo = 1;
  s.IconChange = 1;
  s.AccountTitle = "\x8E\x64\x8E\x96";  // 仕事
  s.AccountPath = "C:\\Mail\\ma in\\";
  return s;
}

const std::string kFirstStart = "[OTHER]\r\nRecvSleep=0\r\n";
const std::string kSampleSaved =
    "[OTHER]\r\n"
    "RecvSleep=0\r\n"
    "InboxMove=1\r\n"
    "PopTime=5\r\n"
    "PopUpSetting=0\r\n"
    "NotPopup=-1\r\n"
    "RecvDo=1\r\n"
    "RetrySearchToNozari=0\r\n"
    "IconChange=1\r\n"
    "AllIconChange=0\r\n"
    "AccountTitle=\"\x8E\x64\x8E\x96\"\r\n"
    "AccountPath=\"C:\\Mail\\ma in\\\"\r\n"
    "[NETWORK]\r\n"
    "PopAddress=\"pop.example.jp\"\r\n"
    "PopAcount=\" taro \"\r\n"
    "PopPort=110\r\n"
    "Apop=1\r\n"
    "Passwd=HOJMLUNTP[R[\r\n";
const std::string kTwoAddresses =
    "[CHECKADDRESS]\r\n"
    "SettingNumber=2\r\n"
    "CheckString1=\"From:\"\r\n"
    "CheckString1+A=\"boss@example.jp\"\r\n"
    "CheckString2=\"To:\"\r\n"
    "CheckString2+A=\" list \"\r\n";
const std::vector<CheckAddress> kTwo = {{0, "From:", "boss@example.jp"}, {0, "To:", " list "}};

// ---------------------------------------------------------------- the profile

TEST(DocumentProfile, OutsideAnUpdateEachCallUsesTheFileAsItIs) {
  Fixture f("[S]\r\nk=1\r\n");
  Profile& p = *f.profile;
  EXPECT_EQ(p.ReadString("S", "k", ""), "1");
  f.file->bytes = "[S]\r\nk=2\r\n";  // edited by hand meanwhile
  EXPECT_EQ(p.ReadString("S", "k", ""), "2");
  EXPECT_TRUE(p.WriteString("S", "j", "3"));
  EXPECT_EQ(f.file->replaces, 1);
  EXPECT_TRUE(p.WriteString("S", "j", "3"));  // the value it has: nothing written
  EXPECT_TRUE(p.DeleteKey("S", "none"));
  EXPECT_EQ(f.file->replaces, 1);
  EXPECT_TRUE(p.DeleteKey("S", "k"));
  EXPECT_EQ(f.file->replaces, 2);
  EXPECT_EQ(*f.file->bytes, "[S]\r\nj=3\r\n");
  EXPECT_EQ(f.file->reads, 6);
}

TEST(DocumentProfile, AnUpdateReadsOnceAndWritesOnce) {
  Fixture f("[S]\r\nk=1\r\n");
  Profile& p = *f.profile;
  p.BeginUpdate();
  EXPECT_TRUE(p.WriteString("S", "k", "2"));
  EXPECT_TRUE(p.WriteString("T", "j", "3"));
  EXPECT_TRUE(p.DeleteKey("S", "k"));
  EXPECT_EQ(p.ReadString("T", "j", ""), "3");
  EXPECT_EQ(p.ReadString("S", "k", "none"), "none");
  EXPECT_EQ(*f.file->bytes, "[S]\r\nk=1\r\n");
  EXPECT_TRUE(p.CommitUpdate());
  EXPECT_EQ(*f.file->bytes, "[S]\r\n[T]\r\nj=3\r\n");
  EXPECT_EQ(f.file->reads, 1);
  EXPECT_EQ(f.file->replaces, 1);

  // Nothing changed, nothing written; a discarded update leaves the file alone.
  p.BeginUpdate();
  EXPECT_TRUE(p.WriteString("T", "j", "3"));
  EXPECT_TRUE(p.CommitUpdate());
  p.BeginUpdate();
  EXPECT_TRUE(p.WriteString("T", "j", "4"));
  p.DiscardUpdate();
  EXPECT_EQ(f.file->replaces, 1);
  EXPECT_EQ(*f.file->bytes, "[S]\r\n[T]\r\nj=3\r\n");
}

TEST(DocumentProfile, NestedUpdatesCommitOnceAtTheOutermost) {
  Fixture f;
  Profile& p = *f.profile;
  p.BeginUpdate();
  p.BeginUpdate();
  EXPECT_TRUE(p.WriteString("S", "a", "1"));
  EXPECT_TRUE(p.CommitUpdate());
  EXPECT_FALSE(f.file->bytes.has_value());
  EXPECT_TRUE(p.WriteString("S", "b", "2"));
  EXPECT_TRUE(p.CommitUpdate());
  EXPECT_EQ(*f.file->bytes, "[S]\r\na=1\r\nb=2\r\n");

  // A discarded inner update spoils the outer one.
  p.BeginUpdate();
  EXPECT_TRUE(p.WriteString("S", "a", "9"));
  p.BeginUpdate();
  p.DiscardUpdate();
  EXPECT_FALSE(p.CommitUpdate());
  EXPECT_EQ(*f.file->bytes, "[S]\r\na=1\r\nb=2\r\n");
  EXPECT_EQ(f.file->replaces, 1);
  EXPECT_FALSE(p.CommitUpdate()) << "no update open";
}

// A file that exists but cannot be read (locked, or past the bound) reads as
// empty and is never replaced by the document of what could not be read.
TEST(DocumentProfile, AFileItCannotReadIsNeverReplaced) {
  const std::string kept = "[NETWORK]\r\nPopAddress=\"old.example.jp\"\r\n";
  for (const bool too_large : {false, true}) {
    SCOPED_TRACE(too_large ? "too large" : "unreadable");
    Fixture f(too_large ? kept + std::string(IniDocument::kMaxFileBytes, ';') : kept);
    f.file->unreadable = !too_large;
    const std::string before = *f.file->bytes;
    Settings s;
    s.PopAddress = "in memory";
    EXPECT_THROW(LoadSettings(*f.profile, s), SettingsWriteError);
    EXPECT_EQ(s.PopAddress, "");
    EXPECT_THROW(SaveSettings(*f.profile, Sample()), SettingsWriteError);
    EXPECT_THROW(WriteCheckAddresses(*f.profile, kTwo), SettingsWriteError);
    EXPECT_TRUE(ReadCheckAddresses(*f.profile).empty());
    EXPECT_EQ(f.file->replaces, 0);
    EXPECT_EQ(*f.file->bytes, before);
  }
}

// ---------------------------------------------------------------- whole saves

TEST(DocumentProfile, AFailedReplaceKeepsTheOldFile) {
  Fixture f(kSampleSaved);
  f.file->fail_replace = true;
  Settings s = Sample();
  s.PopAddress = "new.example.jp";
  try {
    SaveSettings(*f.profile, s);
    FAIL() << "no error";
  } catch (const SettingsWriteError& e) {
    EXPECT_EQ(e.path(), L"C:\\ZEPHO\\ZEPHO.ini");
  }
  EXPECT_THROW(WriteCheckAddresses(*f.profile, kTwo), SettingsWriteError);
  EXPECT_EQ(f.file->replaces, 2);
  EXPECT_EQ(*f.file->bytes, kSampleSaved);
}

// A failure at any step of a save, the first write to the last: the file keeps
// every byte it had, and nothing is written at all.
TEST(DocumentProfile, AFailureAtAnyStepLeavesTheOldBytes) {
  const std::string old_file = kSampleSaved + kTwoAddresses;
  Settings s = Sample();
  s.PopAddress = "pop.newisp.example";
  s.Passwd = "NewSecret";
  s.Tls = kTlsImplicit;
  const std::vector<CheckAddress> one = {{0, "Cc:", "x"}};
  struct Save {
    const char* name;
    std::function<void(Profile&)> run;
  };
  const Save saves[] = {
      {"SaveSettings", [&](Profile& p) { SaveSettings(p, s); }},
      {"WriteCheckAddresses", [&](Profile& p) { WriteCheckAddresses(p, one); }},
  };
  for (const Save& save : saves) {
    SCOPED_TRACE(save.name);
    // How many writes and deletes the save makes.
    Fixture counting(old_file);
    FailingProfile all(*counting.profile, 1 << 30);
    save.run(all);
    ASSERT_GT(all.calls, 3);
    for (int fail_at = 0; fail_at < all.calls; ++fail_at) {
      Fixture f(old_file);
      FailingProfile p(*f.profile, fail_at);
      EXPECT_THROW(save.run(p), SettingsWriteError) << "step " << fail_at;
      EXPECT_EQ(p.calls, fail_at + 1) << "nothing tried after the failure";
      EXPECT_EQ(f.file->replaces, 0) << "step " << fail_at;
      EXPECT_EQ(*f.file->bytes, old_file) << "step " << fail_at;
    }
  }
}

// The two half-done saves key-by-key writing leaves (the old way, on the
// in-memory profile), and what the document leaves instead.
TEST(DocumentProfile, NoHalfDoneSaves) {
  // A failure after the deletes of the check-address list.
  MemoryProfile key_by_key;
  key_by_key.Set("CHECKADDRESS", "SettingNumber", "3");
  for (int i = 1; i <= 3; ++i) {
    key_by_key.Set("CHECKADDRESS", "CheckString" + std::to_string(i), "\"From:\"");
    key_by_key.Set("CHECKADDRESS", "CheckString" + std::to_string(i) + "+A", "\"a\"");
  }
  key_by_key.fail_writes_from = 6;
  EXPECT_THROW(WriteCheckAddresses(key_by_key, {{0, "Cc:", "x"}}), SettingsWriteError);
  EXPECT_TRUE(ReadCheckAddresses(key_by_key).empty()) << "the old way loses the list";

  const std::string three =
      "[CHECKADDRESS]\r\nSettingNumber=3\r\nCheckString1=\"From:\"\r\nCheckString1+A=\"a\"\r\n"
      "CheckString2=\"From:\"\r\nCheckString2+A=\"b\"\r\nCheckString3=\"From:\"\r\n"
      "CheckString3+A=\"c\"\r\n";
  Fixture list(three);
  FailingProfile failing_list(*list.profile, 6);
  EXPECT_THROW(WriteCheckAddresses(failing_list, {{0, "Cc:", "x"}}), SettingsWriteError);
  EXPECT_EQ(ReadCheckAddresses(*list.profile).size(), 3u);
  EXPECT_EQ(*list.file->bytes, three);

  // A failure at the last key of a save that moves to a TLS server.
  Fixture tls(kSampleSaved);
  Settings s = Sample();
  s.PopAddress = "pop.newisp.example";
  s.Tls = kTlsImplicit;
  FailingProfile failing_tls(*tls.profile, 15);  // the 16th write is Tls
  EXPECT_THROW(SaveSettings(failing_tls, s), SettingsWriteError);
  Settings loaded;
  LoadSettings(*tls.profile, loaded);
  EXPECT_EQ(loaded.PopAddress, "pop.example.jp");
  EXPECT_EQ(loaded.Tls, kTlsNone);
}

// ---------------------------------------------------------------- today's files

// The settings give the bytes the platform's profile functions wrote for them
// (the Windows tests compare the two on real files).
TEST(DocumentProfile, TodaysFilesByteForByte) {
  Fixture f;
  Profile& p = *f.profile;
  Settings s;
  struct Step {
    const char* name;
    std::function<void()> run;
    std::string want;
  };
  const std::string saved_xyz = [] {
    std::string t = kSampleSaved;
    t.replace(t.find("HOJMLUNTP[R["), 12, StoredPasswordValue("xyz"));
    return t;
  }();
  const Step steps[] = {
      {"first start", [&] { LoadSettings(p, s); }, kFirstStart},
      {"OK in the settings window",
       [&] {
         s = Sample();
         SaveSettings(p, s);
         WriteCheckAddresses(p, kTwo);
       },
       kSampleSaved + kTwoAddresses},
      {"the next start", [&] { LoadSettings(p, s); }, kSampleSaved + kTwoAddresses},
      {"a password typed into the prompt",
       [&] {
         s.Passwd = "xyz";
         SaveSettings(p, s);
       },
       saved_xyz + kTwoAddresses},
      {"a list of one over two",
       [&] { WriteCheckAddresses(p, {{0, "Cc:", "x"}}); },
       saved_xyz + "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"Cc:\"\r\n"
                   "CheckString1+A=\"x\"\r\n"},
      {"TLS chosen",
       [&] {
         s.Tls = kTlsImplicit;
         SaveSettings(p, s);
       },
       saved_xyz + "Tls=2\r\n" +
           "[CHECKADDRESS]\r\nSettingNumber=1\r\nCheckString1=\"Cc:\"\r\nCheckString1+A=\"x\"\r\n"},
  };
  for (const Step& step : steps) {
    const int replaces = f.file->replaces;
    step.run();
    EXPECT_EQ(*f.file->bytes, step.want) << step.name;
    EXPECT_LE(f.file->replaces - replaces, 2) << step.name << ": one write per save";
  }
}

TEST(DocumentProfile, HandEditedRecvSleepAndLogStayAsTheyAre) {
  const std::string file =
      "; edited by hand\r\n[OTHER]\r\nRecvSleep = 4\r\nLOG=1\r\n\r\n[NETWORK]\r\n"
      "PopAddress = \"pop.example.jp\"\r\n";
  Fixture f(file);
  Settings s;
  LoadSettings(*f.profile, s);
  EXPECT_EQ(s.RecvSleep, 4);
  EXPECT_EQ(s.LOG, 1);
  EXPECT_EQ(s.PopAddress, "pop.example.jp");
  EXPECT_EQ(f.file->replaces, 0) << "a load that changes nothing writes nothing";
  SaveSettings(*f.profile, s);
  // Saved, the file takes the platform's form; nothing is lost.
  const std::string start = "; edited by hand\r\n[OTHER]\r\nRecvSleep=4\r\nLOG=1\r\nInboxMove=0\r\n";
  EXPECT_EQ(f.file->bytes->substr(0, start.size()), start);
  EXPECT_NE(f.file->bytes->find("[NETWORK]\r\nPopAddress=\"pop.example.jp\"\r\nPopAcount=\"\"\r\n"),
            std::string::npos);
}

// ---------------------------------------------------------------- the password

// Every password the window and the prompt take, of every length, comes back
// byte for byte through its stored form and the file, whatever the file's encoding.
TEST(DocumentProfile, EveryStorablePasswordComesBackExact) {
  std::vector<unsigned char> alphabet;
  for (int b = 0x20; b <= 0x7E; ++b) alphabet.push_back(static_cast<unsigned char>(b));
  for (int b = 0x81; b <= 0xFC; ++b) alphabet.push_back(static_cast<unsigned char>(b));
  std::mt19937 random(20240615);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  const std::optional<std::string> files[] = {std::nullopt, std::string("\xFF\xFE"),
                                              std::string("\xEF\xBB\xBF")};
  for (const auto& file : files) {
    for (std::size_t len = 1; len <= kMaxStoredPasswordBytes; ++len) {
      for (int round = 0; round < 8; ++round) {
        std::string password;
        for (std::size_t i = 0; i < len; ++i) password += static_cast<char>(alphabet[pick(random)]);
        Fixture f(file);
        Settings s = Sample();
        s.Passwd = password;
        SaveSettings(*f.profile, s);
        Fixture next_start(f.file->bytes);
        Settings loaded;
        LoadSettings(*next_start.profile, loaded);
        ASSERT_EQ(loaded.Passwd, password) << "length " << len;
      }
    }
  }
}

}  // namespace
}  // namespace zepho

// The settings document against the platform's profile functions on real files:
// the same files and calls, the same answers and the same bytes written.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "settings/ini_document.h"
#include "settings/ini_file_win32.h"
#include "settings/profile_win32.h"
#include "settings/settings_file.h"
#include "unit/ini_document_cases.h"
#include "win32/temp_folder.h"
#include "winlib/text.h"

namespace zepho {
namespace {

using testing::IniCases;
using testing::IniOp;
using testing::LongValueCases;
using testing::TempFolder;

const Cp932Codec& Codec() { return Cp932CodecWin32::Instance(); }
bool Japanese() { return GetACP() == 932; }

IniDocument Open(const std::optional<std::string>& file) {
  if (!file) return IniDocument(Codec());
  std::optional<IniDocument> doc = IniDocument::Parse(*file, Codec());
  EXPECT_TRUE(doc.has_value());
  return doc ? std::move(*doc) : IniDocument(Codec());
}

// The platform's read of a value, as the program's buffer of 1024 bytes gets it.
std::optional<std::string> PlatformRead(const std::string& path, const std::string& section,
                                        const std::string& key) {
  static const char kNone[] = "<none>";
  char buffer[1024];
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), kNone, buffer,
                                           sizeof buffer, path.c_str());
  const std::string got(buffer, n);
  if (got == kNone) return std::nullopt;
  return got;
}

std::string Bytes(const std::wstring& path) { return TempFolder::ReadAll(path); }

// Every case of the table, through the profile functions on a file and through
// the document: the answers and bytes of the table from both. A case whose bytes
// are code page 932 text is put to the functions only under that code page.
TEST(IniDocumentVsProfile, BothGiveTheTablesAnswersAndBytes) {
  TempFolder dir(L"zepho-inidoc-table");
  int n = 0;
  for (const auto& c : IniCases()) {
    SCOPED_TRACE(c.name);
    const bool platform = !c.platform_undefined && (!c.cp932 || Japanese());
    const std::wstring wpath = dir.path() + L"case" + std::to_wstring(n++) + L".ini";
    const std::string path = winlib::NarrowAnsi(wpath);  // the temporary folder is ASCII
    if (c.file) TempFolder::WriteAll(wpath, *c.file);
    IniDocument doc = Open(c.file);
    for (std::size_t i = 0; i < c.ops.size(); ++i) {
      const IniOp& op = c.ops[i];
      SCOPED_TRACE("call " + std::to_string(i + 1));
      switch (op.kind) {
        case IniOp::kRead:
          if (platform) {
            EXPECT_EQ(PlatformRead(path, op.section, op.key), op.expect) << "platform";
          }
          EXPECT_EQ(doc.Find(op.section, op.key), op.expect) << "document";
          break;
        case IniOp::kWrite:
          if (platform) {
            EXPECT_NE(WritePrivateProfileStringA(op.section.c_str(), op.key.c_str(),
                                                 op.value.c_str(), path.c_str()),
                      0);
          }
          EXPECT_TRUE(doc.Write(op.section, op.key, op.value));
          break;
        case IniOp::kDelete:
          if (platform)
            WritePrivateProfileStringA(op.section.c_str(), op.key.c_str(), nullptr, path.c_str());
          doc.Delete(op.section, op.key);
          break;
        case IniOp::kBytes:
          if (platform) {
            EXPECT_EQ(Bytes(wpath), *op.expect) << "platform";
          }
          EXPECT_EQ(doc.Bytes(), *op.expect) << "document";
          break;
      }
    }
    if (platform) {
      EXPECT_EQ(Bytes(wpath), c.end.value_or("<missing>")) << "platform";
    }
    if (c.end) {
      EXPECT_EQ(doc.Bytes(), *c.end) << "document";
    }
  }
}

TEST(IniDocumentVsProfile, LongValues) {
  TempFolder dir(L"zepho-inidoc-long");
  int n = 0;
  for (const auto& c : LongValueCases()) {
    SCOPED_TRACE(c.name);
    const std::wstring wpath = dir.path() + L"long" + std::to_wstring(n++) + L".ini";
    const std::string file = "[S]\r\nk=" + c.stored + "\r\n";
    TempFolder::WriteAll(wpath, file);
    if (!c.cp932 || Japanese()) {
      EXPECT_EQ(PlatformRead(winlib::NarrowAnsi(wpath), "S", "k"), c.read);
    }
    EXPECT_EQ(Open(file).Read("S", "k", ""), c.read);
  }
}

// Where the platform's answer is not in the file, the document answers the file's bytes.
TEST(IniDocumentVsProfile, WhereTheDocumentKeepsTheBytes) {
  if (!Japanese()) GTEST_SKIP() << "these bytes are text of code page 1252";
  TempFolder dir(L"zepho-inidoc-bytes");
  struct Case {
    const char* name;
    std::string stored, platform;  // the value after "k=", and the platform's read of it
  };
  const std::string a1022(1022, 'a');
  const Case cases[] = {
      {"a lead byte at the end", "abc\x82", "abc\x81\x45"},
      {"an unassigned double-byte code", "x\x85\x40y", "x\x81\x45y"},
      {"a stored password", StoredPasswordValue("16-char-AppPass!"), ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring wpath = dir.path() + L"b" + std::to_wstring(n++) + L".ini";
    TempFolder::WriteAll(wpath, "[S]\r\nk=" + c.stored + "\r\n");
    const std::optional<std::string> platform = PlatformRead(winlib::NarrowAnsi(wpath), "S", "k");
    if (c.platform.empty()) {
      EXPECT_NE(platform, c.stored) << "the platform keeps this one after all";
    } else {
      EXPECT_EQ(platform, c.platform);
    }
    EXPECT_EQ(Open(Bytes(wpath)).Read("S", "k", ""), c.stored);
  }
  // Past 1023 bytes the platform's last byte is whatever its buffer held.
  const std::wstring wpath = dir.path() + L"cut.ini";
  TempFolder::WriteAll(wpath, "[S]\r\nk=" + a1022 + "\x83\x41\r\n");
  char buffer[1024];
  std::fill(std::begin(buffer), std::end(buffer), '*');
  EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer,
                                     winlib::NarrowAnsi(wpath).c_str()),
            1023u);
  EXPECT_EQ(std::string(buffer, 1022), a1022);
  EXPECT_EQ(buffer[1022], '*');
  EXPECT_EQ(Open(Bytes(wpath)).Read("S", "k", ""), a1022);
}

// ---------------------------------------------------------------- today's program

// The same settings through today's adapter (the profile functions) and through
// the document: the same files, byte for byte, at every step.
TEST(IniDocumentVsProfile, TheProgramsFilesAreTheSame) {
  TempFolder dir(L"zepho-inidoc-program");
  ProfileWin32 old_way(dir.path() + L"old.ini");
  IniProfileWin32 new_way(dir.path() + L"new.ini");
  Settings a, b;
  struct Step {
    const char* name;
    std::function<void(Profile&, Settings&)> run;
  };
  const Step steps[] = {
      {"first start", [](Profile& p, Settings& s) { LoadSettings(p, s); }},
      {"OK in the settings window",
       [](Profile& p, Settings& s) {
         s.PopAddress = "pop.example.jp";
         s.PopAcount = " taro ";
         s.PopPort = 995;
         s.Apop = 1;
         s.Passwd = "abc";
         s.PopTime = 12;
         s.NotPopup = 1;
         s.IconChange = 1;
         s.AccountTitle = "\x8E\x64\x8E\x96 \x95\x5C";  // 仕事 表
         s.AccountPath = "C:\\Mail\\\x83\x5C\\";
         SaveSettings(p, s);
         WriteCheckAddresses(p, {{0, "From:", "boss@example.jp"}, {0, "X-ML-Name:", " \x83\x5C "}});
       }},
      {"the next start", [](Profile& p, Settings& s) { LoadSettings(p, s); }},
      {"a password typed into the prompt",
       [](Profile& p, Settings& s) {
         s.Passwd = "xyz";
         SaveSettings(p, s);
       }},
      {"a shorter list and TLS",
       [](Profile& p, Settings& s) {
         s.Tls = kTlsImplicit;
         s.TlsCertSha256 = std::string(64, 'a');
         SaveSettings(p, s);
         WriteCheckAddresses(p, {{0, "Cc:", "x"}});
       }},
      {"TLS off again",
       [](Profile& p, Settings& s) {
         s.Tls = kTlsNone;
         s.TlsCertSha256.clear();
         SaveSettings(p, s);
       }},
  };
  for (const Step& step : steps) {
    step.run(old_way, a);
    step.run(new_way, b);
    EXPECT_EQ(Bytes(new_way.Path()), Bytes(old_way.Path())) << step.name;
    EXPECT_EQ(b, a) << step.name;
  }
}

// ---------------------------------------------------------------- UTF-16

TEST(IniDocumentVsProfile, Utf16FilesWithJapaneseText) {
  if (!Japanese()) GTEST_SKIP() << "the profile functions take this text through code page 932";
  TempFolder dir(L"zepho-inidoc-utf16");
  const std::wstring wpath = dir.path() + L"u.ini";
  const std::string path = winlib::NarrowAnsi(wpath);
  // "[仕事]" and "表示=ソフト" in UTF-16.
  const std::wstring_view text = L"[\u4ED5\u4E8B]\r\n\u8868\u793A=\u30BD\u30D5\u30C8\r\n";
  const std::string file =
      "\xFF\xFE" + std::string(reinterpret_cast<const char*>(text.data()), 2 * text.size());
  TempFolder::WriteAll(wpath, file);
  IniDocument doc = Open(file);
  const std::string section = "\x8E\x64\x8E\x96", key = "\x95\x5C\x8E\xA6";
  EXPECT_EQ(PlatformRead(path, section, key), "\x83\x5C\x83\x74\x83\x67");
  EXPECT_EQ(doc.Find(section, key), "\x83\x5C\x83\x74\x83\x67");
  const std::string values[] = {"\x82\xA0\x82\xA2", "\"  \x83\x5C  \"", "ASCII"};
  for (const std::string& v : values) {
    ASSERT_NE(WritePrivateProfileStringA(section.c_str(), "k", v.c_str(), path.c_str()), 0);
    ASSERT_TRUE(doc.Write(section, "k", v));
    EXPECT_EQ(doc.Bytes(), Bytes(wpath));
    EXPECT_EQ(doc.Find(section, "k"), PlatformRead(path, section, "k"));
  }
}

// ---------------------------------------------------------------- the password

// A password of any length the window takes, in any bytes it takes, comes back
// after a restart through the document, under either code page, in an ANSI file
// and in a UTF-16 one.
TEST(IniDocumentVsProfile, StoredPasswordsComeBackExact) {
  TempFolder dir(L"zepho-inidoc-password");
  std::vector<unsigned char> alphabet;
  for (int b = 0x20; b <= 0x7E; ++b) alphabet.push_back(static_cast<unsigned char>(b));
  for (int b = 0x81; b <= 0xFC; ++b) alphabet.push_back(static_cast<unsigned char>(b));
  std::mt19937 random(932);
  std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
  int n = 0;
  for (const char* start : {"", "\xFF\xFE"}) {
    for (std::size_t len = 1; len <= kMaxStoredPasswordBytes; ++len) {
      for (int round = 0; round < 3; ++round) {
        std::string password;
        for (std::size_t i = 0; i < len; ++i) password += static_cast<char>(alphabet[pick(random)]);
        const std::wstring path = dir.path() + L"p" + std::to_wstring(n++) + L".ini";
        if (*start) TempFolder::WriteAll(path, start);
        Settings s;
        s.PopAddress = "pop.example.jp";
        s.Passwd = password;
        IniProfileWin32 first(path);
        SaveSettings(first, s);
        IniProfileWin32 restart(path);
        Settings loaded;
        LoadSettings(restart, loaded);
        ASSERT_EQ(loaded.Passwd, password) << "length " << len;
      }
    }
  }
}

}  // namespace
}  // namespace zepho

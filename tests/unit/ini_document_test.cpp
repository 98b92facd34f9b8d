#include "settings/ini_document.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "unit/fakes/table_codec932.h"
#include "unit/ini_document_cases.h"

namespace zepho {
namespace {

using namespace std::string_literals;
using testing::IniCases;
using testing::IniOp;
using testing::LongValueCases;
using testing::TableCodec932;

const Cp932Codec& Codec() { return TableCodec932::Instance(); }

IniDocument Open(const std::optional<std::string>& file) {
  if (!file) return IniDocument(Codec());
  std::optional<IniDocument> doc = IniDocument::Parse(*file, Codec());
  EXPECT_TRUE(doc.has_value());
  return doc ? std::move(*doc) : IniDocument(Codec());
}

std::string Shown(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      out += "\\x";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// ---------------------------------------------------------------- the platform's answers

TEST(IniDocument, ReadsAndWritesAsTheProfileFunctions) {
  for (const auto& c : IniCases()) {
    SCOPED_TRACE(c.name);
    IniDocument doc = Open(c.file);
    for (std::size_t i = 0; i < c.ops.size(); ++i) {
      const IniOp& op = c.ops[i];
      SCOPED_TRACE("call " + std::to_string(i + 1));
      switch (op.kind) {
        case IniOp::kRead:
          EXPECT_EQ(doc.Find(op.section, op.key), op.expect);
          break;
        case IniOp::kWrite:
          EXPECT_TRUE(doc.Write(op.section, op.key, op.value));
          break;
        case IniOp::kDelete:
          doc.Delete(op.section, op.key);
          break;
        case IniOp::kBytes:
          EXPECT_EQ(Shown(doc.Bytes()), Shown(*op.expect));
          break;
      }
    }
    if (c.end) {
      EXPECT_EQ(Shown(doc.Bytes()), Shown(*c.end));
      // What it writes reads back as the document read.
      IniDocument again = Open(doc.Bytes());
      EXPECT_EQ(again.Bytes(), doc.Bytes());
      for (const IniOp& op : c.ops) {
        if (op.kind == IniOp::kRead || op.kind == IniOp::kWrite) {
          EXPECT_EQ(again.Find(op.section, op.key), doc.Find(op.section, op.key)) << op.key;
        }
      }
    } else {
      EXPECT_FALSE(doc.Changed());
    }
  }
}

TEST(IniDocument, LongValuesAreCutAt1023BytesOfWholeCharacters) {
  for (const auto& c : LongValueCases()) {
    IniDocument doc = Open("[S]\r\nk=" + c.stored + "\r\n");
    EXPECT_EQ(doc.Read("S", "k", "none"), c.read) << c.name;
  }
}

// Where the platform's answer is not the file's bytes, the document keeps them.
TEST(IniDocument, ValuesAreTheFilesBytes) {
  struct Case {
    const char* name;
    std::string value;  // after "k=", read back as it is
  };
  const Case cases[] = {
      {"a lead byte at the end", "abc\x82"},       // the platform reads 0x81 0x45 for 0x82
      {"an unassigned double-byte code", "\x85\x40\x85\x41"},
      {"0x80, 0xA0 and 0xFD to 0xFF", "\x80\xA0\xFD\xFE\xFF"},
      {"a stored password", "HOJMLUNTP[R[\x9A\xE3\xFE\x88"},
      {"every byte but line ends, blanks and quotes at the ends",
       [] {
         std::string s = "x";
         for (int b = 1; b < 256; ++b)
           if (b != '\r' && b != '\n') s += static_cast<char>(b);
         return s + "x";
       }()},
  };
  for (const Case& c : cases) {
    IniDocument doc = Open("[S]\r\nk=" + c.value + "\r\n");
    EXPECT_EQ(Shown(doc.Read("S", "k", "")), Shown(c.value)) << c.name;
  }
}

// The document of a file it does not change gives back every byte of it.
TEST(IniDocument, UnchangedDocumentKeepsEveryByte) {
  const std::string files[] = {
      "",
      "no section, no line end",
      "[S]\r\n  a = 1  \r\n\r\n\r\n; comment\r\n[]\r\n\x1A",
      "[S]\nb=\x82\r\r\n\x85\x40\0\0x"s,
      "\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0\x00\xD8x"s,
      "\xEF\xBB\xBF[S]\r\na=\xC3\x28\xED\xA0\x80\r\n",
      "\xFE\xFF\0",
  };
  for (const std::string& file : files) {
    IniDocument doc = Open(file);
    doc.Delete("S", "missing");
    doc.Delete("missing", "a");
    EXPECT_FALSE(doc.Changed()) << Shown(file);
    EXPECT_EQ(Shown(doc.Bytes()), Shown(file));
  }
}

// What would not read back as written is refused, and the document stays as it was.
TEST(IniDocument, RefusedWritesChangeNothing) {
  struct Case {
    const char* name;
    std::string section, key, value;
  };
  const Case cases[] = {
      {"a line break in the value", "S", "k", "a\r\nb=c"},
      {"a lone LF in the value", "S", "k", "a\nb"},
      {"a zero byte in the value", "S", "k", "a\0b"s},
      {"a line break in the key", "S", "k\r\n[T]", "v"},
      {"a line break in the section", "S]\r\nx", "k", "v"},
      {"an empty section name", "", "k", "v"},
      {"a section name of blanks", " \t ", "k", "v"},
      {"an empty key", "S", "", "v"},
      {"a key of blanks", "S", "  ", "v"},
      {"a key holding =", "S", "a=b", "v"},
      {"a key starting with [", "S", "[x]y", "v"},
      {"a section name ending in a lead byte", "S\x83", "k", "v"},
  };
  for (const Case& c : cases) {
    IniDocument doc = Open("[S]\r\nk=old\r\n");
    EXPECT_FALSE(doc.Write(c.section, c.key, c.value)) << c.name;
    EXPECT_FALSE(doc.Changed()) << c.name;
    EXPECT_EQ(doc.Read("S", "k", ""), "old") << c.name;
  }
  // A last lead byte followed by its trail byte is a whole character.
  IniDocument doc = Open("[S]\r\n");
  EXPECT_TRUE(doc.Write("\x83\x5D", "k", "v"));
  EXPECT_EQ(doc.Read("\x83\x5D", "k", ""), "v");
}

TEST(IniDocument, EmptyNamesNameNothing) {
  IniDocument doc = Open("top=1\r\n[]\r\n=x\r\n[S]\r\n=y\r\n");
  EXPECT_EQ(doc.Find("", "top"), std::nullopt);
  EXPECT_EQ(doc.Find("S", ""), std::nullopt);
  EXPECT_EQ(doc.Find(" ", " "), std::nullopt);
  doc.Delete("", "top");
  doc.Delete("S", "");
  EXPECT_FALSE(doc.Changed());
}

// ---------------------------------------------------------------- bounds

TEST(IniDocument, FilesPastTheBoundAreNotRead) {
  const std::size_t bound = IniDocument::kMaxFileBytes;
  EXPECT_TRUE(IniDocument::Parse(std::string(bound, '\n'), Codec()).has_value());
  EXPECT_FALSE(IniDocument::Parse(std::string(bound + 1, '\n'), Codec()).has_value());
}

// No write makes the file larger than the bound, in any encoding; at the bound
// exactly it is still written.
TEST(IniDocument, NoWriteGrowsTheFilePastTheBound) {
  const std::size_t bound = IniDocument::kMaxFileBytes;
  struct Case {
    const char* name;
    std::optional<std::string> file;
    std::size_t unit;  // bytes per value byte
  };
  const Case cases[] = {
      {"ANSI", std::nullopt, 1},
      {"UTF-16", "\xFF\xFE", 2},
      {"UTF-8", "\xEF\xBB\xBF", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    IniDocument doc = Open(c.file);
    ASSERT_TRUE(doc.Write("S", "a", "1"));
    const std::size_t used = doc.Bytes().size();
    // "k=" + value + CR LF must fill the file exactly.
    const std::size_t fits = (bound - used) / c.unit - 4;
    EXPECT_FALSE(doc.Write("S", "k", std::string(fits + 1, 'v')));
    EXPECT_EQ(doc.Bytes().size(), used);
    ASSERT_TRUE(doc.Write("S", "k", std::string(fits, 'v')));
    EXPECT_EQ(doc.Bytes().size(), bound);
    EXPECT_FALSE(doc.Write("S", "k2", "x"));
    EXPECT_FALSE(doc.Write("S", "a", "12"));
    EXPECT_TRUE(doc.Write("S", "a", "2"));  // the same size
    doc.Delete("S", "k");
    EXPECT_TRUE(doc.Write("S", "k2", "x"));
    EXPECT_LT(doc.Bytes().size(), bound);
  }
}

// ---------------------------------------------------------------- UTF files

// A UTF file keeps the program's bytes exact as well: text of the code page as
// its characters, anything else as escapes that come back as the same bytes.
TEST(IniDocument, UtfFilesKeepEveryValueExact) {
  std::string all;
  for (int b = 1; b < 256; ++b)
    if (b != '\r' && b != '\n') all += static_cast<char>(b);
  const std::string values[] = {
      "\x83\x5C\x95\x5C",      // ソ表: a trail byte 0x5C
      "\xB1 \x82\xA0",          // half-width ア, あ
      "\x85\x40\x82",          // no character of the code page
      "\x82\xA0\x82",          // あ and a lead byte at the end
      "HOJMLUNTP[R[\x9A\xE3\xFE\x88",
      all,
  };
  for (const char* mark : {"\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"}) {
    for (const std::string& v : values) {
      IniDocument doc = Open(std::string(mark));
      ASSERT_TRUE(doc.Write("S", "k", "\"" + v + "\""));
      EXPECT_EQ(Shown(doc.Read("S", "k", "")), Shown(v)) << Shown(mark);
      IniDocument again = Open(doc.Bytes());
      EXPECT_EQ(again.encoding(), doc.encoding());
      EXPECT_EQ(Shown(again.Read("S", "k", "")), Shown(v)) << Shown(mark);
    }
  }
}

TEST(IniDocument, UtfTextOfTheCodePageIsWrittenAsItsCharacters) {
  IniDocument doc = Open("\xFF\xFE"s);
  ASSERT_TRUE(doc.Write("\x8E\x64\x8E\x96", "k", "\x82\xA0\x85\x40"));
  // 仕事 and あ as UTF-16; 0x85 0x40 is no character: U+DC85 and "@".
  EXPECT_EQ(Shown(doc.Bytes()),
            Shown("\xFF\xFE[\0\xD5\x4E\x8B\x4E]\0\r\0\n\0k\0=\0\x42\x30\x85\xDC@\0\r\0\n\0"s));
  IniDocument utf8 = Open("\xEF\xBB\xBF"s);
  ASSERT_TRUE(utf8.Write("S", "k", "\x82\xA0\x85\x40"));
  EXPECT_EQ(Shown(utf8.Bytes()), Shown("\xEF\xBB\xBF[S]\r\nk=\xE3\x81\x82\xED\xB2\x85@\r\n"));
  // Invalid UTF-8 in the file reads as its bytes.
  EXPECT_EQ(Shown(Open("\xEF\xBB\xBF[S]\r\nk=\xC3\x28\xE3\x81\x82\r\n").Read("S", "k", "")),
            Shown("\xC3(\x82\xA0"));
}

}  // namespace
}  // namespace zepho

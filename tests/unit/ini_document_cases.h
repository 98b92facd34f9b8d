// Settings files and calls on them, with what the platform's profile functions
// answer and write (found under Wine 8 with GetPrivateProfileStringA and
// WritePrivateProfileStringA). The core tests hold the document to these
// answers; the Windows tests hold the platform's functions and the document to
// them on real files.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zepho::testing {

using namespace std::string_literals;

struct IniOp {
  enum Kind { kRead, kWrite, kDelete, kBytes };
  Kind kind;
  std::string section, key;
  std::string value;                   // kWrite
  std::optional<std::string> expect;   // kRead: the value, nullopt when absent; kBytes: the file
};

inline IniOp R(std::string s, std::string k, std::optional<std::string> expect) {
  return {IniOp::kRead, std::move(s), std::move(k), "", std::move(expect)};
}
inline IniOp W(std::string s, std::string k, std::string v) {
  return {IniOp::kWrite, std::move(s), std::move(k), std::move(v), std::nullopt};
}
inline IniOp D(std::string s, std::string k) {
  return {IniOp::kDelete, std::move(s), std::move(k), "", std::nullopt};
}
inline IniOp F(std::string bytes) { return {IniOp::kBytes, "", "", "", std::move(bytes)}; }

struct IniCase {
  const char* name;
  std::optional<std::string> file;  // nullopt: there is no file
  std::vector<IniOp> ops;
  std::optional<std::string> end;   // the file afterwards; nullopt: still none
  // The bytes mean other characters under another ANSI code page (a double-byte
  // character of code page 932, a trail byte "]"): the platform agrees only under 932.
  bool cp932 = false;
  // Wine reads one byte past the file here (the last character of a UTF-16 file
  // of odd length): what the platform answers depends on the memory behind its
  // buffer, so only the document is held to the table.
  bool platform_undefined = false;
};

inline const std::vector<IniCase>& IniCases() {
  static const std::vector<IniCase> cases = {
      {"blanks around names and values",
       "[S]\r\n  k1 =  v1  \r\nk2=\t v2\t\r\n k3\t=v3 x \r\n",
       {R("S", "k1", "v1"), R("S", "k2", "v2"), R("S", "k3", "v3 x"), R("S", " k1 ", "v1"),
        R(" S ", "k1", "v1"), R("S", "k1 x", std::nullopt)},
       "[S]\r\n  k1 =  v1  \r\nk2=\t v2\t\r\n k3\t=v3 x \r\n"},
      {"a change writes every line in the platform's form",
       "[S]\r\n  k1 =  v1  \r\nk2=\t v2\t\r\n",
       {W("S", "k3", "x")},
       "[S]\r\nk1=v1\r\nk2=v2\r\nk3=x\r\n"},
      {"comments and lines without = stay, blank lines go",
       "; top comment\r\n\r\n[S]\r\n;c1\r\na=1\r\n\r\n\r\nnoequal\r\n[T]\r\nb=2\r\n",
       {R("S", ";c1", std::nullopt), R("S", "noequal", std::nullopt), W("S", "z", "9")},
       "; top comment\r\n[S]\r\n;c1\r\na=1\r\nnoequal\r\nz=9\r\n[T]\r\nb=2\r\n"},
      {"writing the value a key has changes nothing",
       "[S]\r\n  a = 1  \r\nb=\"q\"",
       {W("S", "a", "1"), W("s", "A", "  1"), W("S", "b", "\"q\""), D("S", "none"),
        D("none", "a")},
       "[S]\r\n  a = 1  \r\nb=\"q\""},
      {"one pair of enclosing quotes",
       "[S]\r\nq1=\"a b\"\r\nq2='c d'\r\nq3=\"lone\r\nq4=\"\r\nq5=\"\"\r\nq6=' x \"\r\n"
       "q7=  \" sp \"  \r\nq8=a\"b\"\r\nq9='\r\nq10=\"x\"y\"\r\nq11=\"'\r\n",
       {R("S", "q1", "a b"), R("S", "q2", "c d"), R("S", "q3", "\"lone"), R("S", "q4", "\""),
        R("S", "q5", ""), R("S", "q6", "' x \""), R("S", "q7", " sp "), R("S", "q8", "a\"b\""),
        R("S", "q9", "'"), R("S", "q10", "x\"y"), R("S", "q11", "\"'")},
       "[S]\r\nq1=\"a b\"\r\nq2='c d'\r\nq3=\"lone\r\nq4=\"\r\nq5=\"\"\r\nq6=' x \"\r\n"
       "q7=  \" sp \"  \r\nq8=a\"b\"\r\nq9='\r\nq10=\"x\"y\"\r\nq11=\"'\r\n"},
      {"letter case of names; only the first section of a name counts",
       "[Net]\r\nPopPort=1\r\n[NET]\r\npopport=2\r\nX=3\r\n",
       {R("NET", "POPPORT", "1"), R("net", "x", std::nullopt), W("NET", "x", "4"),
        W("net", "New", "5"), R("NET", "X", "4")},
       "[Net]\r\nPopPort=1\r\nx=4\r\nNew=5\r\n[NET]\r\npopport=2\r\nX=3\r\n"},
      {"the first of two equal keys",
       "[S]\r\nk=first\r\nK=second\r\n",
       {R("S", "k", "first"), W("S", "k", "third"), F("[S]\r\nk=third\r\nK=second\r\n"),
        D("S", "k"), F("[S]\r\nK=second\r\n"), R("S", "k", "second")},
       "[S]\r\nK=second\r\n"},
      {"a key before any section belongs to none",
       "top=1\r\n[S]\r\nk=2\r\n",
       {R("S", "top", std::nullopt), W("S", "k", "3")},
       "top=1\r\n[S]\r\nk=3\r\n"},
      {"empty values",
       "[S]\r\ne1=\r\ne2=   \r\ne3\r\n",
       {R("S", "e1", ""), R("S", "e2", ""), R("S", "e3", std::nullopt), W("S", "e4", "")},
       "[S]\r\ne1=\r\ne2=\r\ne3\r\ne4=\r\n"},
      {"a line without = takes a value in its place",
       "[S]\r\ne3\r\nz=1\r\n",
       {W("S", "e3", "v"), R("S", "e3", "v")},
       "[S]\r\ne3=v\r\nz=1\r\n"},
      {"no CR LF after the last line",
       "[S]\r\na=1",
       {R("S", "a", "1"), W("S", "b", "2")},
       "[S]\r\na=1\r\nb=2\r\n"},
      {"no CR LF after the last line, its value changed",
       "[S]\r\na=1",
       {W("S", "a", "2")},
       "[S]\r\na=2\r\n"},
      {"bare LF lines",
       "[S]\na=1\nb=2\n[T]\nc=3\n",
       {R("S", "b", "2"), R("T", "c", "3"), W("S", "a", "9")},
       "[S]\r\na=9\r\nb=2\r\n[T]\r\nc=3\r\n"},
      {"bare CR lines and a CR inside a line",
       "[S]\ra=1\rb=2\r\nc=3\r",
       {R("S", "b", "2"), R("S", "c", "3"), W("S", "d", "4")},
       "[S]\r\na=1\r\nb=2\r\nc=3\r\nd=4\r\n"},
      {"a new section at the end, no blank line before it",
       "[S]\r\na=1\r\n\r\n",
       {W("T", "b", "2")},
       "[S]\r\na=1\r\n[T]\r\nb=2\r\n"},
      {"a new key at the end of its section",
       "[S]\r\na=1\r\n\r\n[T]\r\nc=3\r\n",
       {W("S", "b", "2")},
       "[S]\r\na=1\r\nb=2\r\n[T]\r\nc=3\r\n"},
      {"no file: the first write creates it",
       std::nullopt,
       {R("OTHER", "RecvSleep", std::nullopt), D("OTHER", "RecvSleep"),
        W("OTHER", "RecvSleep", "0"), F("[OTHER]\r\nRecvSleep=0\r\n"),
        W("NETWORK", "PopAddress", "\"x\"")},
       "[OTHER]\r\nRecvSleep=0\r\n[NETWORK]\r\nPopAddress=\"x\"\r\n"},
      {"no file: a delete creates none", std::nullopt, {D("S", "a")}, std::nullopt},
      {"an empty file", "", {W("S", "a", "1")}, "[S]\r\na=1\r\n"},
      {"deleting the last key leaves the section",
       "[S]\r\na=1\r\n[T]\r\nb=2\r\n",
       {D("S", "a"), F("[S]\r\n[T]\r\nb=2\r\n"), D("X", "y"), R("T", "b", "2")},
       "[S]\r\n[T]\r\nb=2\r\n"},
      {"a value's leading blanks go; its trailing ones are written and not read",
       std::nullopt,
       {W("S", "a", "  x  "), R("S", "a", "x"), F("[S]\r\na=x  \r\n"), W("S", "a", "x"),
        F("[S]\r\na=x  \r\n"), W("S", "b", "1")},
       "[S]\r\na=x\r\nb=1\r\n"},
      {"a value of blanks only",
       "[S]\r\na=1\r\n",
       {W("S", "a", "   "), R("S", "a", ""), W("S", "a", "")},
       "[S]\r\na=\r\n"},
      {"quotes and blanks written as given",
       std::nullopt,
       {W("S", "a", "  \"x\"  "), R("S", "a", "x")},
       "[S]\r\na=\"x\"  \r\n"},
      {"blanks around new names: written once, gone when read again",
       "[S]\r\n",
       {W("S", "k ", "v"), F("[S]\r\nk =v\r\n"), W(" T ", " j ", "w"), R("T", "j", "w"),
        F("[S]\r\nk=v\r\n[T ]\r\nj =w\r\n")},
       "[S]\r\nk=v\r\n[T ]\r\nj =w\r\n"},
      {"section names: blanks inside the brackets, text after them, no closing bracket",
       "[ S ]\r\na=1\r\n[T ]x y\r\nb=2\r\n[U\r\nc=3\r\n",
       {R("S", "a", "1"), R("T", "b", "2"), R("U", "c", std::nullopt),
        R("S", "[U", std::nullopt), R("T", "[U", std::nullopt), R("T", "c", "3"),
        W("S", "z", "1")},
       "[S]\r\na=1\r\nz=1\r\n[T]\r\nb=2\r\n[U\r\nc=3\r\n"},
      {"a key in a second section of the same name is not read",
       "[S]\r\na=1\r\n[T]\r\n[s]\r\nb=2\r\n",
       {R("S", "b", std::nullopt), W("S", "c", "3")},
       "[S]\r\na=1\r\nc=3\r\n[T]\r\n[s]\r\nb=2\r\n"},
      {"deletes: any line of the name, in any section of the name, names as given",
       "[S]\r\na=1\r\n;c\r\n[s]\r\nb=2\r\n[ X ]\r\nx=1\r\n",
       {D("S", "b"), F("[S]\r\na=1\r\n;c\r\n[s]\r\n[X]\r\nx=1\r\n"), D("S", ";c"),
        F("[S]\r\na=1\r\n[s]\r\n[X]\r\nx=1\r\n"), D(" X ", "x"), D("X", " x"),
        F("[S]\r\na=1\r\n[s]\r\n[X]\r\nx=1\r\n"), D("x", "X")},
       "[S]\r\na=1\r\n[s]\r\n[X]\r\n"},
      {"Ctrl-Z, tab and other blanks at the ends",
       "[S]\r\na=\x1Ax\x0B\x1A\r\nb=\x0C" "1\x0C\r\n",
       {R("S", "a", "x"), R("S", "b", "1"), W("S", "c", "\t2\x1A")},
       "[S]\r\na=x\r\nb=1\r\nc=2\x1A\r\n"},
      {"empty-named lines: of two in a row the second goes",
       "[S]\r\n=a\r\n=b\r\nk=1\r\n=c\r\n",
       {W("S", "z", "1")},
       "[S]\r\n=a\r\nk=1\r\n=c\r\nz=1\r\n"},
      {"empty-named lines brought together by a delete",
       "[S]\r\n=a\r\nk=1\r\n=c\r\n",
       {W("S", "q", "1"), D("S", "k"), F("[S]\r\n=a\r\n=c\r\nq=1\r\n"), W("S", "z", "1")},
       "[S]\r\n=a\r\nq=1\r\nz=1\r\n"},
      {"empty-named lines brought together by the first change",
       "[S]\r\n=a\r\nk=1\r\n=c\r\n",
       {D("S", "k"), F("[S]\r\n=a\r\n=c\r\n"), W("S", "z", "1")},
       "[S]\r\n=a\r\nz=1\r\n"},
      {"a section without a name joins the one before it once written",
       "[S]\r\na=1\r\n[]\r\nb=2\r\n[ ]\r\nc=3\r\n[T]\r\nt=1\r\n",
       {R("S", "b", std::nullopt), W("S", "c", "3"),
        F("[S]\r\na=1\r\nc=3\r\nb=2\r\nc=3\r\n[T]\r\nt=1\r\n"), R("S", "b", "2"),
        W("S", "d", "4")},
       "[S]\r\na=1\r\nc=3\r\nb=2\r\nc=3\r\nd=4\r\n[T]\r\nt=1\r\n"},
      {"a zero byte ends a name or value",
       "[S]\r\nk=v\0  x  \r\nj\0k=2\r\nv=x \0y\r\n[A\0B]\r\nq=1\r\n[C \0D]\r\nr=1\r\n"s,
       {R("S", "k", "v"), R("S", "j", "2"), R("S", "v", "x "), R("A", "q", "1"),
        R("C", "r", std::nullopt), W("S", "z", "1"), R("S", "v", "x"), R("C", "r", "1")},
       "[S]\r\nk=v\r\nj=2\r\nv=x \r\nz=1\r\n[A]\r\nq=1\r\n[C ]\r\nr=1\r\n"},
      {"code page 932 text is kept, a trail byte 0x5C and a full-width space too",
       "[S]\r\na=\x83\x5C\r\nb=\x81\x40x\x81\x40\r\nc=\xB1\xB2\r\n",
       {R("S", "a", "\x83\x5C"), R("S", "b", "\x81\x40x\x81\x40"), R("S", "c", "\xB1\xB2"),
        W("S", "d", "\x95\x5C\x8E\xA6 \x83\x5C"), R("S", "d", "\x95\x5C\x8E\xA6 \x83\x5C")},
       "[S]\r\na=\x83\x5C\r\nb=\x81\x40x\x81\x40\r\nc=\xB1\xB2\r\nd=\x95\x5C\x8E\xA6 \x83\x5C\r\n",
       true},
      {"a trail byte ] closes no section",
       "[\x83\x5D\r\nk=1\r\n[\x83\x5D]\r\nj=2\r\n",
       {R("\x83\x5D", "j", "2"), R("\x83\x5D", "k", std::nullopt), W("\x83\x5D", "x", "3")},
       "[\x83\x5D\r\nk=1\r\n[\x83\x5D]\r\nj=2\r\nx=3\r\n",
       true},
      {"the second byte of a character is no letter",
       "[\x83\x41]\r\nj=2\r\n[\x82\x60]\r\nk=1\r\n",
       {R("\x83\x61", "j", std::nullopt), R("\x83\x41", "J", "2"),
        R("\x82\x81", "k", std::nullopt)},
       "[\x83\x41]\r\nj=2\r\n[\x82\x60]\r\nk=1\r\n",
       true},
      {"UTF-16 with a byte-order mark stays UTF-16",
       "\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n\0"s,
       {R("S", "a", "1"), W("S", "b", "\x83\x5C"), R("S", "b", "\x83\x5C"), W("T", "c", "3")},
       "\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n\0b\0=\0\xBD\x30\r\0\n\0[\0T\0]\0\r\0\n\0c\0=\0"
       "3\0\r\0\n\0"s,
       true},
      {"a byte-order mark alone",
       "\xFF\xFE",
       {R("S", "a", std::nullopt), W("S", "a", "1")},
       "\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n\0"s},
      {"UTF-16 big-endian",
       "\xFE\xFF\0[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n"s,
       {R("S", "a", "1"), W("S", "b", "2")},
       "\xFE\xFF\0[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n\0b\0=\0" "2\0\r\0\n"s},
      {"UTF-16 without a byte-order mark is read as bytes",
       "[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n\0"s,
       {R("S", "a", std::nullopt)},
       "[\0S\0]\0\r\0\n\0a\0=\0" "1\0\r\0\n\0"s},
      {"UTF-16 of an odd length",
       "\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0" "1\0x"s,
       {R("S", "a", "1x"), W("S", "b", "2")},
       "\xFF\xFE[\0S\0]\0\r\0\n\0a\0=\0" "1\0x\0\r\0\n\0b\0=\0" "2\0\r\0\n\0"s,
       false, true},
      {"UTF-8 with a byte-order mark stays UTF-8",
       "\xEF\xBB\xBF[S]\r\na = \xE3\x81\x82 \r\n",
       {R("S", "a", "\x82\xA0"), W("S", "b", "\x82\xA2")},
       "\xEF\xBB\xBF[S]\r\na=\xE3\x81\x82\r\nb=\xE3\x81\x84\r\n",
       true},
      {"a UTF-8 byte-order mark alone", "\xEF\xBB\xBF", {W("S", "b", "1")},
       "\xEF\xBB\xBF[S]\r\nb=1\r\n"},
  };
  return cases;
}

// Values around the platform's 1023-byte cut, as the document reads them.
struct LongValueCase {
  const char* name;
  std::string stored;  // after "k="
  std::string read;
  bool cp932 = false;
  // Wine reads one byte past the file here (the last character of a UTF-16 file
  // of odd length): what the platform answers depends on the memory behind its
  // buffer, so only the document is held to the table.
  bool platform_undefined = false;
};

inline const std::vector<LongValueCase>& LongValueCases() {
  const auto a = [](std::size_t n) { return std::string(n, 'a'); };
  const auto kana = [](std::size_t n) {  // ア, two bytes each
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += "\x83\x41";
    return s;
  };
  static const std::vector<LongValueCase> cases = {
      {"1023 bytes", a(1023), a(1023)},
      {"1024 bytes", a(1024), a(1023)},
      {"1100 bytes", a(1100), a(1023)},
      {"quoted 1021", "\"" + a(1021) + "\"", a(1021)},
      {"quoted 1022", "\"" + a(1022) + "\"", a(1022)},
      // 1024 characters after the opening quote: the platform takes off the last one it copied.
      {"quoted 1023", "\"" + a(1023) + "\"", a(1022)},
      {"quoted 1024", "\"" + a(1024) + "\"", a(1023)},
      {"quoted 1030", "\"" + a(1030) + "\"", a(1023)},
      {"511 double-byte and one", kana(511) + "a", kana(511) + "a", true},
      {"quoted 511 double-byte", "\"" + kana(511) + "\"", kana(511), true},
  };
  return cases;
}

}  // namespace zepho::testing

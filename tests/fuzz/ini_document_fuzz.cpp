// Any bytes as a settings file, and calls on it. A document nothing changed
// writes back the bytes it read; one document taking many calls writes what the
// platform writes when every call reads the file anew (a fresh document per
// call), and reads as that file reads; what it writes reads back the same.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "../unit/fakes/table_codec932.h"
#include "settings/ini_document.h"

namespace {

using zepho::IniDocument;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
  }
}

const zepho::Cp932Codec& Codec() { return zepho::testing::TableCodec932::Instance(); }

IniDocument Reread(const IniDocument& doc) {
  std::optional<IniDocument> again = IniDocument::Parse(doc.Bytes(), Codec());
  Check(again.has_value(), "what it writes can be read");
  return std::move(*again);
}

// Names that collide in every way the rules care about.
const char* const kSections[] = {"S", "s", " S ", "T ", "", " ", "[x", "a]b", "\x83\x5D", "\x83",
                                 "\x83\x41", "\x83\x61", "\x82\x60"};
const char* const kKeys[] = {"k", "K", " k", "k ", "", "=", "a=b", ";c", "[x]y", "\x83\x41",
                             "\x83\x61", "q", "e"};
const char* const kValues[] = {"", "v", "  v  ", "\"q\"", "' x '", "'", "x\x1A", "\x82", "\x85\x40",
                               "\x83\x5C", "a\r\nb", "\t", "==", "[S]"};

std::string Pick(FuzzedDataProvider& in, const char* const* list, std::size_t n) {
  if (in.ConsumeBool()) return in.ConsumeRandomLengthString(8);
  return list[in.ConsumeIntegralInRange<std::size_t>(0, n - 1)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  static const char* const kMarks[] = {"", "\xFF\xFE", "\xFE\xFF", "\xEF\xBB\xBF"};
  std::string file = kMarks[in.ConsumeIntegralInRange(0, 3)];
  file += in.ConsumeRandomLengthString(4096);

  std::optional<IniDocument> parsed = IniDocument::Parse(file, Codec());
  Check(parsed.has_value(), "a small file is read");
  IniDocument doc = std::move(*parsed);
  Check(doc.Bytes() == file, "an unchanged document writes back its bytes");
  IniDocument fresh = Reread(doc);

  const int calls = in.ConsumeIntegralInRange(0, 12);
  for (int i = 0; i < calls; ++i) {
    const int kind = in.ConsumeIntegralInRange(0, 2);
    const std::string s = Pick(in, kSections, std::size(kSections));
    const std::string k = Pick(in, kKeys, std::size(kKeys));
    if (kind == 0) {
      const std::string v = Pick(in, kValues, std::size(kValues));
      Check(doc.Write(s, k, v) == fresh.Write(s, k, v), "the same writes are taken");
    } else if (kind == 1) {
      doc.Delete(s, k);
      fresh.Delete(s, k);
    } else {
      Check(doc.Find(s, k) == fresh.Find(s, k), "reads as the file reads");
    }
    Check(doc.Bytes() == fresh.Bytes(), "writes what the calls one by one write");
    fresh = Reread(fresh);
    const std::string qs = Pick(in, kSections, std::size(kSections));
    const std::string qk = Pick(in, kKeys, std::size(kKeys));
    Check(doc.Find(qs, qk) == fresh.Find(qs, qk), "reads as the file written reads");
    if (const std::optional<std::string> v = doc.Find(qs, qk))
      Check(v->size() <= IniDocument::kMaxValueBytes, "a read's bound");
  }

  // A second write of what was read gives the same bytes.
  const std::string written = doc.Bytes();
  IniDocument again = Reread(doc);
  Check(again.Bytes() == written, "written bytes read and written again");
  Check(!again.Changed(), "reading changes nothing");
  return 0;
}

// The received-id list at the sizes a heavy mailbox reaches. Prints, for each
// size, the time to get the list ready at a check's start (file read, text
// built) and the time of one search of an absent id (a new message: the search
// runs to the end) by each search path, the peak of the heap while the list is
// made ready (for a CR LF file and for one with bare LF breaks), and on Linux
// the resident memory before, with and after the list. Built for Linux and for
// Windows (run under Wine).
//
// Usage: idlist_bench [ids ...]   (default: 20000 200000)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_search.h"
#include "common/cp932.h"
#include "companion/companion_accounts.h"

// Every allocation of the program counted: the bytes alive and their peak.
namespace {
std::size_t g_heap_live = 0;
std::size_t g_heap_peak = 0;
constexpr std::size_t kHeader = 16;  // keeps the allocation's size, and the alignment
}  // namespace

// Not inlined: the compiler would otherwise pair the malloc and free inside
// them with the new and delete of their callers and warn of a mismatch.
[[gnu::noinline]] void* operator new(std::size_t n) {
  auto* block = static_cast<unsigned char*>(std::malloc(n + kHeader));
  if (!block) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = n;
  g_heap_live += n;
  g_heap_peak = std::max(g_heap_peak, g_heap_live);
  return block + kHeader;
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  if (!p) return;
  unsigned char* block = static_cast<unsigned char*>(p) - kHeader;
  g_heap_live -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

// Resident memory of this process in KiB (Linux), or -1.
long ResidentKiB() {
#if defined(_WIN32)
  return -1;  // the figures of the program under Wine come from scripts/bench.sh
#endif
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f) return -1;
  long pages = 0, resident = 0;
  const int n = std::fscanf(f, "%ld %ld", &pages, &resident);
  std::fclose(f);
  return n == 2 ? resident * 4 : -1;
}

// Maildir-style ids such as "1700000001.M123456P4567.mx1.host,S=12345" (~40 bytes).
std::string MakeUidlFile(int ids) {
  std::string file;
  file.reserve(static_cast<std::size_t>(ids) * 44);
  char id[96];
  for (int i = 0; i < ids; ++i) {
    const int n = std::snprintf(id, sizeof id, "%d.M%06dP%d.mx%d.host,S=%d\r\n",
                                1700000000 + i * 7, (i * 7919) % 1000000, 1000 + i % 9000,
                                1 + i % 3, 800 + (i * 131) % 90000);
    file.append(id, static_cast<std::size_t>(n));
  }
  return file;
}

// The mail client's data as the program reads them, the Uidl file from disk
// with the same C library calls as the Windows store.
class BenchStore : public zepho::MailboxStore {
 public:
  explicit BenchStore(std::string uidl) : uidl_(std::move(uidl)) {}
  MailboxPath ReadMailboxPath() override { return {MailboxPath::Kind::Text, L"."}; }
  void FindFiles(const std::wstring&, const std::function<bool(const FolderEntry&)>&) override {}
  std::string ReadIniString(const std::wstring&, const std::string&, const std::string& key,
                            const std::string& def) override {
    if (key == "NotDelete") return "1";
    if (key == "OldPopper") return "0";
    return def;
  }
  std::optional<std::string> ReadFile(const std::wstring&) override {
    std::FILE* f = std::fopen(uidl_.c_str(), "rb");
    if (!f) return std::nullopt;
    std::string content;
    if (std::fseek(f, 0, SEEK_END) == 0) {
      const long size = std::ftell(f);
      if (size > 0) {
        content.reserve(static_cast<std::size_t>(size) + 2);
        content.resize(static_cast<std::size_t>(size));
      }
      std::fseek(f, 0, SEEK_SET);
    }
    content.resize(std::fread(content.data(), 1, content.size(), f));
    char chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) content.append(chunk, n);
    std::fclose(f);
    return content;
  }
  std::string StoredPath(const std::wstring& path) override {
    return std::string(path.begin(), path.end());
  }
  std::wstring PathFromStored(const std::string& stored) override {
    return std::wstring(stored.begin(), stored.end());
  }

 private:
  std::string uidl_;
};

double Ms(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Median of `reps` runs of `body`, in ms.
template <typename F>
double MedianMs(int reps, F&& body) {
  std::vector<double> t;
  for (int r = 0; r < reps; ++r) {
    const auto t0 = std::chrono::steady_clock::now();
    body();
    t.push_back(Ms(std::chrono::steady_clock::now() - t0));
  }
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

volatile std::size_t g_sink;  // keeps results alive

void WriteFile(const std::string& path, const std::string& bytes) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// The heap's peak above what was alive before, while the list is made ready
// from a file of `bytes`, as a multiple of the file's size.
double LoadPeakRatio(const std::string& path, const std::string& bytes) {
  WriteFile(path, bytes);
  BenchStore store(path);
  zepho::Settings settings;
  std::optional<zepho::ReceivedIdList> list;
  const std::size_t base = g_heap_live;
  g_heap_peak = base;
  g_sink = static_cast<std::size_t>(zepho::LoadReceivedIdList(store, settings, list));
  return static_cast<double>(g_heap_peak - base) / static_cast<double>(bytes.size());
}

void Run(int ids) {
  const std::string file = MakeUidlFile(ids);
  const std::string path = "idlist_bench_uidl.tmp";
  WriteFile(path, file);
  BenchStore store(path);
  zepho::Settings settings;

  std::printf("\n%d ids, %zu bytes\n", ids, file.size());
  const long rss_before = ResidentKiB();

  std::optional<zepho::ReceivedIdList> list;
  const double ready = MedianMs(9, [&] {
    list.reset();
    g_sink = static_cast<std::size_t>(zepho::LoadReceivedIdList(store, settings, list));
  });
  const long rss_with = ResidentKiB();
  if (!list || list->text != file) std::printf("warning: the list text differs from the file\n");
  std::printf("  %-40s %9.3f ms\n", "ready at check start (read + text)", ready);
  std::printf("  %-40s %9.3f ms\n", "  of which the file read",
              MedianMs(9, [&] { g_sink = store.ReadFile(std::wstring(path.begin(), path.end()))->size(); }));

  // Same shape as a real id, found nowhere.
  const std::string absent = "1800000000.M999999P9999.mx9.host,S=12345";
  struct Path {
    const char* name;
    zepho::ByteSearch search;
  };
  std::vector<Path> paths = {{"portable", zepho::FindBytesPortable}};
#if defined(ZEPHO_HAVE_SSE2_SEARCH)
  paths.push_back({"sse2", zepho::FindBytesSse2});
#endif
  for (const Path& p : paths) {
    const double one = MedianMs(21, [&] {
      g_sink = zepho::Find932(list->text, absent, 0, p.search);
    });
    std::printf("  one search, absent id, %-16s %9.3f ms\n", p.name, one);
  }
  // The id a walk ends at: known, near the end of the list.
  const std::string known = zepho::SplitUidlLines(file.substr(file.size() - 200)).back();
  std::printf("  %-40s %9.3f ms\n", "one search, known id near the end",
              MedianMs(21, [&] { g_sink = zepho::OccursIn(known, list->text); }));
  // What the check does with it when it ends.
  std::string().swap(list->text);
  const long rss_after = ResidentKiB();
  if (rss_before >= 0)
    std::printf("  resident: before %ld KiB, with the list %ld KiB, after the check %ld KiB\n",
                rss_before, rss_with, rss_after);
  std::string lf_file = file;
  std::erase(lf_file, '\r');
  std::printf("  heap peak while made ready: CR LF file %.2f x its size, LF file %.2f x\n",
              LoadPeakRatio(path + ".crlf", file), LoadPeakRatio(path + ".lf", lf_file));
  std::remove((path + ".crlf").c_str());
  std::remove((path + ".lf").c_str());
  std::remove(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
#if defined(ZEPHO_HAVE_SSE2_SEARCH)
  std::printf("search paths: portable, sse2 (default)\n");
#else
  std::printf("search paths: portable (default)\n");
#endif
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes = {20000, 200000};
  for (int ids : sizes) Run(ids);
  return 0;
}

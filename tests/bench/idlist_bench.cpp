// The received-id list at a size a heavy mailbox reaches: 200,000 ids. Prints
// CPU time, wall time and peak resident memory for the steps of a check.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "common/cp932.h"
#include "companion/companion_accounts.h"

namespace {

constexpr int kIds = 200000;

long PeakRssKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;  // KiB on Linux
}

// Maildir-style ids such as "1700000001.M123456P4567.mx1.host,S=12345" (~40 bytes).
std::string MakeUidlFile() {
  std::string file;
  file.reserve(static_cast<std::size_t>(kIds) * 44);
  char id[96];
  for (int i = 0; i < kIds; ++i) {
    const int n = std::snprintf(id, sizeof id, "%d.M%06dP%d.mx%d.host,S=%d\r\n",
                                1700000000 + i * 7, (i * 7919) % 1000000, 1000 + i % 9000,
                                1 + i % 3, 800 + (i * 131) % 90000);
    file.append(id, static_cast<std::size_t>(n));
  }
  return file;
}

struct Timing {
  double cpu_ms;
  double wall_ms;
};

// Average of `reps` runs of `body`.
template <typename F>
Timing Measure(int reps, F&& body) {
  const std::clock_t c0 = std::clock();
  const auto w0 = std::chrono::steady_clock::now();
  for (int r = 0; r < reps; ++r) body();
  const auto w1 = std::chrono::steady_clock::now();
  const std::clock_t c1 = std::clock();
  return {1000.0 * static_cast<double>(c1 - c0) / CLOCKS_PER_SEC / reps,
          std::chrono::duration<double, std::milli>(w1 - w0).count() / reps};
}

void Report(const char* what, int reps, Timing t) {
  std::printf("%-44s %4d reps  cpu %9.3f ms  wall %9.3f ms  peak RSS %7ld KiB\n", what, reps,
              t.cpu_ms, t.wall_ms, PeakRssKiB());
}

volatile std::size_t g_sink;  // keeps results alive

}  // namespace

int main() {
  std::printf("peak RSS at start: %ld KiB\n", PeakRssKiB());
  const std::string file = MakeUidlFile();
  std::printf("Uidl file: %d ids, %zu bytes (%.1f bytes per line)\n", kIds, file.size(),
              static_cast<double>(file.size()) / kIds);
  std::printf("peak RSS with the file in memory: %ld KiB\n", PeakRssKiB());

  // One check start before anything else, so that each peak is that step's own.
  {
    zepho::ReceivedIdList once{zepho::SplitUidlLines(file)};
    std::printf("peak RSS after one split: %ld KiB\n", PeakRssKiB());
    const std::string text = once.WholeText();
    std::printf("peak RSS after one WholeText: %ld KiB\n", PeakRssKiB());
    g_sink = zepho::OccursIn("1800000000.M999999P9999.mx9.host,S=12345", text);
    std::printf("peak RSS after one search: %ld KiB\n", PeakRssKiB());
  }

  // Averages. Each run replaces a live result, so it also pays for dropping the
  // previous one.
  zepho::ReceivedIdList list;
  const int split_reps = 20;
  Report("SplitUidlLines", split_reps, Measure(split_reps, [&] {
           list.lines = zepho::SplitUidlLines(file);
           g_sink = list.lines.size();
         }));

  std::string whole;
  const int whole_reps = 20;
  Report("WholeText", whole_reps, Measure(whole_reps, [&] {
           whole = list.WholeText();
           g_sink = whole.size();
         }));
  if (whole != file) std::printf("warning: WholeText differs from the file\n");

  // Same shape as a real id, found nowhere: the search runs to the end.
  const std::string absent = "1800000000.M999999P9999.mx9.host,S=12345";
  const int search_reps = 20;
  Report("OccursIn, absent id (one search)", search_reps, Measure(search_reps, [&] {
           g_sink = zepho::OccursIn(absent, whole);
         }));

  // A walk of 20 new messages: 20 absent ids, each searched in the whole text.
  std::vector<std::string> walk;
  for (int i = 0; i < 20; ++i) walk.push_back("18000000" + std::to_string(10 + i) + ".M123456P4567.mx1.host,S=2048");
  const int walk_reps = 5;
  Report("20-message walk (20 absent ids)", walk_reps, Measure(walk_reps, [&] {
           std::size_t hits = 0;
           for (const std::string& id : walk) hits += zepho::OccursIn(id, whole);
           g_sink = hits;
         }));

  // The check start as it happens: a fresh list and a fresh text, dropped
  // afterwards, step by step.
  const int start_reps = 10;
  double split_ms = 0, whole_ms = 0, drop_ms = 0;
  const auto cpu_ms = [](std::clock_t a, std::clock_t b) {
    return 1000.0 * static_cast<double>(b - a) / CLOCKS_PER_SEC;
  };
  const Timing start = Measure(start_reps, [&] {
    const std::clock_t c0 = std::clock();
    auto* fresh = new zepho::ReceivedIdList{zepho::SplitUidlLines(file)};
    const std::clock_t c1 = std::clock();
    auto* text = new std::string(fresh->WholeText());
    const std::clock_t c2 = std::clock();
    g_sink = text->size();
    delete text;
    delete fresh;
    const std::clock_t c3 = std::clock();
    split_ms += cpu_ms(c0, c1);
    whole_ms += cpu_ms(c1, c2);
    drop_ms += cpu_ms(c2, c3);
  });
  Report("check start: split + WholeText + drop", start_reps, start);
  std::printf("  of which cpu: split %.3f ms, WholeText %.3f ms, drop %.3f ms\n",
              split_ms / start_reps, whole_ms / start_reps, drop_ms / start_reps);
  return 0;
}

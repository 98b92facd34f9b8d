#include "pop3/bounded_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zepho {
namespace {

// The log and the older log as byte counts and contents; what the bound asked
// for is recorded call by call.
struct FakeStore : LogStore {
  std::string current;        // ZEPHO.LOG
  std::string older = "old";  // ZEPHO.LOG.1
  bool opens = true;
  bool turns_over = true;
  bool is_open = false;
  std::vector<std::string> calls;

  std::optional<std::uint64_t> Open() override {
    calls.push_back("open");
    if (!opens) return std::nullopt;
    is_open = true;
    return current.size();
  }
  void Write(std::string_view bytes) override {
    EXPECT_TRUE(is_open);
    calls.push_back("write");
    current += bytes;
  }
  void Close() override {
    calls.push_back("close");
    is_open = false;
  }
  bool TurnOver() override {
    EXPECT_FALSE(is_open) << "a file is turned over closed";
    calls.push_back("turn over");
    if (!turns_over) return false;
    older = std::move(current);
    current.clear();
    return true;
  }
};

constexpr std::size_t kBound = kLogTurnOverBytes;

// Where a check's lines go, by the size the log had before it.
TEST(BoundedLog, TurnsOverWhenALineWouldStartPastTheBound) {
  struct Case {
    const char* what;
    std::size_t before;
    std::vector<std::string> lines;
    std::size_t older_size;    // of ZEPHO.LOG.1 afterwards; 3 = the old one kept
    std::string current_tail;  // the end of ZEPHO.LOG afterwards
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"a small log grows", 10, {"USER u\r\n"}, 3, "USER u\r\r\n", {"open", "write"}},
      {"one byte under the bound: the line still goes in", kBound - 1, {"+OK\r\n"}, 3,
       "+OK\r\r\n", {"open", "write"}},
      {"at the bound at the check's start", kBound, {"+OK\r\n", "USER u\r\n"}, kBound,
       "+OK\r\r\nUSER u\r\r\n", {"open", "close", "turn over", "open", "write", "write"}},
      {"far past it (an older program's log)", 5 * kBound, {"+OK\r\n"}, 5 * kBound, "+OK\r\r\n",
       {"open", "close", "turn over", "open", "write"}},
      {"passed within the check: the next line starts the new file", kBound - 2,
       {"TOP 1 0\r\n", "+OK\r\n"}, kBound - 2 + 10, "+OK\r\r\n",
       {"open", "write", "close", "turn over", "open", "write"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeStore store;
    store.current.assign(c.before, 'x');
    BoundedLog log(store);
    for (const std::string& line : c.lines) log.Append(line);
    EXPECT_EQ(store.calls, c.calls);
    EXPECT_EQ(store.older.size(), c.older_size);
    ASSERT_GE(store.current.size(), c.current_tail.size());
    EXPECT_EQ(store.current.substr(store.current.size() - c.current_tail.size()), c.current_tail);
    EXPECT_LT(store.current.size(), kBound + 16);
  }
}

// However many checks run, each file holds at most the bound plus one line.
TEST(BoundedLog, StaysBoundedOverManyChecks) {
  FakeStore store;
  store.older.clear();
  BoundedLog log(store);
  const std::string header = "+OK\r\n" + std::string(3000, 'h') + "\r\n.\r\n";
  for (int check = 0; check < 2000; ++check) {
    log.Append("TOP 1 0\r\n");
    log.Append(header);
    log.Close();
    ASSERT_LT(store.current.size(), kBound + header.size() + 8);
    ASSERT_LT(store.older.size(), kBound + header.size() + 8);
  }
  EXPECT_GT(store.older.size(), kBound - header.size()) << "the older log is a whole one";
}

// A log whose older file cannot be replaced keeps growing for this check and
// is tried again at the next; one that cannot be opened loses the line only.
TEST(BoundedLog, FailuresCostTheLineOrTheBoundNeverTheCheck) {
  FakeStore store;
  store.current.assign(kBound, 'x');
  store.turns_over = false;
  BoundedLog log(store);
  log.Append("a\n");
  log.Append("b\n");
  EXPECT_EQ(store.calls, (std::vector<std::string>{"open", "close", "turn over", "open", "write",
                                                   "write"}));
  EXPECT_EQ(store.current.size(), kBound + 6);
  EXPECT_EQ(store.older, "old");
  log.Close();
  store.calls.clear();
  store.turns_over = true;
  log.Append("c\n");
  EXPECT_EQ(store.calls,
            (std::vector<std::string>{"open", "close", "turn over", "open", "write"}));
  EXPECT_EQ(store.current, "c\r\n");

  log.Close();
  store.calls.clear();
  store.opens = false;
  log.Append("lost\n");
  log.Append("lost too\n");
  EXPECT_FALSE(log.IsOpen());
  store.opens = true;
  log.Append("d\n");
  EXPECT_EQ(store.calls, (std::vector<std::string>{"open", "open", "open", "write"}));
  EXPECT_EQ(store.current, "c\r\nd\r\n");
}

}  // namespace
}  // namespace zepho

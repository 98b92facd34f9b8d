// Header matching, id parsing and the new-mail decision on arbitrary input,
// with a check list taken from the input. HeadersMatch is compared with a
// byte-by-byte reading of its line rule.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "common/cp932.h"
#include "pop3/new_mail_detection.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

// A line runs through its CR or stops before a LF; one byte after it is skipped.
bool ReferenceHeadersMatch(const zepho::CheckList& list, const std::string& reply) {
  std::size_t i = 0;
  while (i < reply.size()) {
    std::string line;
    while (i < reply.size() && reply[i] != '\n') {
      line += reply[i];
      if (reply[i++] == '\r') break;
    }
    ++i;
    if (zepho::LineMatches(list, line)) return true;
    if (line.size() == 2) return false;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  zepho::CheckList list{};
  const int entries = in.ConsumeIntegralInRange<int>(0, zepho::kMaxCheckAddresses);
  for (int i = 0; i < entries; ++i)
    list[static_cast<std::size_t>(i)] = {in.ConsumeRandomLengthString(12),
                                         in.ConsumeRandomLengthString(24)};
  const bool has_list = in.ConsumeBool();
  const std::int32_t not_popup = in.ConsumeIntegralInRange<std::int32_t>(-1, 2);
  const std::string received = in.ConsumeRandomLengthString(256);
  const std::string uid_reply = in.ConsumeRandomLengthString(256);
  const std::string top = in.ConsumeRemainingBytesAsString();

  const std::string uid = zepho::ParseUid(uid_reply);
  Require(uid.find('\r') == std::string::npos);
  Require(uid.empty() || uid_reply.find(uid) != std::string::npos);

  const std::string* list_text = has_list ? &received : nullptr;
  const bool is_new = zepho::IsNewMessage(list_text, uid);
  if (!is_new) Require(!uid.empty() && received.find(uid) != std::string::npos);

  const bool matched = zepho::HeadersMatch(list, top);
  Require(matched == ReferenceHeadersMatch(list, top));
  if (matched) {
    // Some entry's texts stand in the reply as bytes. (Not necessarily as
    // characters of the whole reply: a line starts after a line end, where a
    // lead byte just before it may have paired with the LF in the whole text.)
    bool some_entry = false;
    for (const zepho::CheckEntry& e : list)
      some_entry |= !e.header.empty() && !e.address.empty() &&
                    top.find(e.header) != std::string::npos &&
                    top.find(e.address) != std::string::npos;
    Require(some_entry);
  }

  const zepho::WalkState before{0, 3, 7};
  zepho::WalkState walk = before;
  zepho::EvaluateMessage(list, not_popup, list_text, uid, top, walk);
  Require(walk.NewMailCount == before.NewMailCount + (is_new ? 1 : 0));
  Require(walk.MessageIndex == before.MessageIndex || walk.MessageIndex == 0);
  Require(walk.MatchFound == 0 || walk.MatchFound == 1);
  if (walk.MatchFound == 1) Require(is_new && walk.MessageIndex == 0);
  if (!is_new) Require(walk.MessageIndex == 0);
  return 0;
}

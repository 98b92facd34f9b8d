// Drives one dialogue through arbitrary server bytes cut into arbitrary
// arrivals. Whatever the server sends, no command line may exceed its bound,
// the gathered reply may not outgrow its bound, and nothing may happen after
// the dialogue has ended. What the walk examined stays within its bounds and
// shows (in the results window's cells and the balloon) as one-line text
// without a direction override.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/mail_balloon.h"
#include "pop3/pop3_session.h"
#include "ui/results_form.h"

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using zepho::SessionAction;
  FuzzedDataProvider in(data, size);

  const std::uint8_t flags = in.ConsumeIntegral<std::uint8_t>();
  zepho::SessionConfig config;
  config.apop = flags & 1;
  config.not_popup = (flags >> 2) & 3;
  config.account = in.ConsumeRandomLengthString(300);
  config.password = in.ConsumeRandomLengthString(1100);
  const std::string received = in.ConsumeRandomLengthString(128);
  if (flags & 2) config.received = &received;
  zepho::CheckList list{};
  list[0] = {in.ConsumeRandomLengthString(16), in.ConsumeRandomLengthString(32)};
  list[19] = {in.ConsumeRandomLengthString(16), in.ConsumeRandomLengthString(32)};
  config.load_check_list = [&list] { return list; };
  zepho::CheckReport report;
  report.checked = true;
  config.examined = &report.examined;

  zepho::Pop3Session session;
  session.Begin(std::move(config));
  session.OnConnected();
  while (in.remaining_bytes() > 0) {
    const std::string bytes =
        in.ConsumeBytesAsString(in.ConsumeIntegralInRange<std::size_t>(0, 512));
    const bool was_finished = session.finished();
    const zepho::SessionActions actions = session.OnReceived(bytes);
    Require(session.buffer().size() <= zepho::kMaxReplyBytes);
    if (was_finished) {
      Require(actions.empty());
      continue;
    }
    // An incomplete reply changes nothing (its deadline counts from its
    // command); a complete one first stops the reply timer.
    if (actions.empty()) {
      Require(!session.finished());
      continue;
    }
    Require(actions.front().kind == SessionAction::Kind::StopReplyTimer);
    for (std::size_t i = 0; i < actions.size(); ++i) {
      const SessionAction& a = actions[i];
      if (a.kind == SessionAction::Kind::Send) {
        Require(a.text.size() <= zepho::kMaxCommandLineBytes);
        Require(a.text.size() >= 2 && a.text.compare(a.text.size() - 2, 2, "\r\n") == 0);
      }
      if (a.kind == SessionAction::Kind::End || a.kind == SessionAction::Kind::LoginRejected) {
        Require(i + 1 == actions.size());
        Require(session.finished());
      }
    }
    // After a complete reply an unfinished dialogue has sent its next
    // command and started the reply timer for it.
    if (!session.finished())
      Require(actions.back().kind == SessionAction::Kind::StartReplyTimer);
  }

  Require(report.examined.rows().size() <= zepho::kMaxExaminedRows);
  for (const zepho::ExaminedMessage& m : report.examined.rows()) {
    Require(m.entry == zepho::kNoEntry || m.entry == 0 || m.entry == 19);
    for (const std::string* v : {&m.from, &m.subject, &m.date})
      Require(v->size() <= zepho::kMaxExaminedValueBytes);
  }
  report.new_count = session.walk().NewMailCount;
  for (const zepho::ResultRow& row : zepho::ResultRows(report))
    for (const std::u16string& cell : row)
      for (char16_t c : cell)
        Require(c >= 0x20 && c != 0x7F && !(c >= 0x202A && c <= 0x202E) &&
                !(c >= 0x2066 && c <= 0x2069));
  const zepho::TrayBalloon balloon = zepho::NewMailBalloon(report);
  Require(balloon.text.size() <= zepho::kBalloonTextUnits);
  Require(balloon.title.size() <= zepho::kBalloonTitleUnits);
  return 0;
}

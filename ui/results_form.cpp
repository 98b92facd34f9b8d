#include "ui/results_form.h"

#include <cstdio>

#include "common/charset_decode.h"
#include "common/header_decode.h"
#include "common/sender_display.h"
#include "ui/results_texts.h"

namespace zepho {

namespace {

namespace t = results_texts;

std::u16string Ascii(std::string_view text) { return std::u16string(text.begin(), text.end()); }

std::u16string Number(long long n) { return Ascii(std::to_string(n)); }

std::u16string FromCp932(std::string_view bytes) {
  std::u16string out;
  Utf16Writer writer(out, bytes.size());
  DecodeCharset(Charset::ShiftJis, bytes, writer);
  return out;
}

std::u16string TimeText(const LocalTime& at) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", at.year, at.month, at.day,
                at.hour, at.minute, at.second);
  return Ascii(text);
}

std::u16string OutcomeText(const CheckReport& r) {
  switch (r.outcome) {
    case CheckOutcome::Done:
      if (r.new_count <= 0) return t::kNoNewMail;
      return t::kNewMailBefore + Number(r.new_count) + t::kNotableBefore +
             Number(r.notable_count) + t::kNotableAfter;
    case CheckOutcome::NoConnection: return t::kNoConnection;
    case CheckOutcome::ConnectionLost: return t::kConnectionLost;
    case CheckOutcome::TimedOut: return t::kTimedOut;
    case CheckOutcome::PasswordRefused: return t::kPasswordRefused;
    case CheckOutcome::TlsFailed: return t::kTlsFailed;
    case CheckOutcome::ServerError: return t::kServerError;
  }
  return {};
}

const char16_t* StateText(ExaminedState s) {
  switch (s) {
    case ExaminedState::NewNotable: return t::kNewNotable;
    case ExaminedState::New: return t::kNew;
    case ExaminedState::Received: return t::kReceived;
  }
  return u"";
}

bool IsDirectionOverride(char16_t c) {
  return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::u16string Displayable(std::u16string text) {
  for (char16_t& c : text) {
    if (c < 0x20 || c == 0x7F)
      c = u' ';
    else if (IsDirectionOverride(c))
      c = 0xFFFD;
  }
  return text;
}

std::u16string SenderCell(std::string_view from_value) {
  return Displayable(SenderDisplayText(from_value));
}

std::u16string SubjectCell(std::string_view subject_value) {
  return Displayable(DecodeHeaderValue(subject_value));
}

std::u16string StatusLine(const CheckReport& report) {
  if (!report.checked) return t::kNotChecked;
  std::u16string line = t::kLastCheck + TimeText(report.ended) + u"\u3000" + OutcomeText(report);
  if (report.examined.dropped() > 0)
    line += t::kListedBefore + Number(static_cast<long long>(report.examined.rows().size())) +
            t::kListedAfter;
  return line;
}

std::vector<ResultRow> ResultRows(const CheckReport& report) {
  std::vector<ResultRow> rows;
  rows.reserve(report.examined.rows().size());
  const CheckList& list = report.examined.check_list();
  for (const ExaminedMessage& m : report.examined.rows()) {
    ResultRow row;
    row[0] = Number(m.number);
    row[1] = StateText(m.state);
    if (m.entry >= 0 && static_cast<std::size_t>(m.entry) < list.size()) {
      const CheckEntry& e = list[static_cast<std::size_t>(m.entry)];
      row[2] = Displayable(FromCp932(e.header) + u" " + FromCp932(e.address));
    }
    row[3] = SenderCell(m.from);
    row[4] = SubjectCell(m.subject);
    row[5] = Displayable(DecodeHeaderValue(m.date));
    rows.push_back(std::move(row));
  }
  return rows;
}

std::u16string CopyText(const std::u16string& status, const std::vector<ResultRow>& rows) {
  std::u16string text = status;
  for (const ResultRow& row : rows) {
    text += u"\r\n";
    for (std::size_t i = 0; i < row.size(); ++i) {
      if (i > 0) text += u'\t';
      text += row[i];
    }
  }
  return text;
}

}  // namespace zepho

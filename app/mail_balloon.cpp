#include "app/mail_balloon.h"

#include <vector>

#include "ui/results_form.h"
#include "ui/results_texts.h"

namespace zepho {

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }

std::u16string Number(long long n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

std::u16string CutToUnits(std::u16string text, std::size_t max) {
  if (text.size() <= max) return text;
  if (max == 0) return {};
  std::size_t keep = max - 1;  // room for the ellipsis
  if (keep > 0 && IsHighSurrogate(text[keep - 1])) --keep;
  text.resize(keep);
  text += u'\u2026';
  return text;
}

TrayBalloon NewMailBalloon(const CheckReport& report) {
  namespace t = results_texts;
  std::vector<const ExaminedMessage*> named;
  for (ExaminedState wanted : {ExaminedState::NewNotable, ExaminedState::New})
    for (const ExaminedMessage& m : report.examined.rows())
      if (m.state == wanted && named.size() < kBalloonMessages) named.push_back(&m);

  std::u16string text;
  for (const ExaminedMessage* m : named) {
    if (!text.empty()) text += u'\n';
    text += CutToUnits(SenderCell(m->from) + t::kBalloonBetween + SubjectCell(m->subject),
                       kBalloonLineUnits);
  }
  const long long rest = static_cast<long long>(report.new_count) -
                         static_cast<long long>(named.size());
  if (rest > 0) {
    if (!text.empty()) text += u'\n';
    text += t::kMoreBefore + Number(rest) + t::kMoreAfter;
  }
  return {CutToUnits(t::kBalloonTitle, kBalloonTitleUnits), CutToUnits(text, kBalloonTextUnits)};
}

}  // namespace zepho

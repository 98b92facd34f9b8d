#include "pop3/connect_attempts.h"

#include <algorithm>

namespace zepho {

namespace {

DialAction Act(DialAction::Kind kind, std::size_t attempt = 0) {
  DialAction a{};
  a.kind = kind;
  a.attempt = attempt;
  return a;
}

}  // namespace

std::vector<IpAddress> AttemptOrder(const std::vector<IpAddress>& addresses, std::size_t max) {
  std::vector<IpAddress> v4, v6;
  IpAddress::Family first = IpAddress::Family::V6;
  bool seen_any = false;
  for (const IpAddress& raw : addresses) {
    const IpAddress a = Unmapped(raw);
    std::vector<IpAddress>& family = a.family == IpAddress::Family::V4 ? v4 : v6;
    if (std::find(family.begin(), family.end(), a) != family.end()) continue;
    if (!seen_any) first = a.family;
    seen_any = true;
    family.push_back(a);
  }
  const std::vector<IpAddress>& one = first == IpAddress::Family::V4 ? v4 : v6;
  const std::vector<IpAddress>& other = first == IpAddress::Family::V4 ? v6 : v4;
  std::vector<IpAddress> order;
  for (std::size_t i = 0; order.size() < max && (i < one.size() || i < other.size()); ++i) {
    if (i < one.size()) order.push_back(one[i]);
    if (i < other.size() && order.size() < max) order.push_back(other[i]);
  }
  return order;
}

DialActions ConnectAttempts::Begin(const std::vector<IpAddress>& addresses, ConnectLimits limits) {
  limits_ = limits;
  order_ = AttemptOrder(addresses, std::max<std::size_t>(limits.max_addresses, 1));
  attempts_.assign(order_.size(), Attempt::NotStarted);
  next_ = 0;
  last_error_ = 0;
  finished_ = false;
  DialActions out;
  if (order_.empty())
    Fail(false, out);
  else
    StartNext(out);
  return out;
}

void ConnectAttempts::StartNext(DialActions& out) {
  const std::size_t i = next_++;
  attempts_[i] = Attempt::Open;
  DialAction start = Act(DialAction::Kind::Start, i);
  start.address = order_[i];
  out.push_back(start);
  DialAction arm = Act(DialAction::Kind::ArmTimer);
  arm.ms = next_ < order_.size() ? limits_.stagger_ms : limits_.final_wait_ms;
  out.push_back(arm);
}

bool ConnectAttempts::AnyOpen() const {
  return std::find(attempts_.begin(), attempts_.end(), Attempt::Open) != attempts_.end();
}

void ConnectAttempts::Fail(bool timed_out, DialActions& out) {
  for (std::size_t i = 0; i < attempts_.size(); ++i) {
    if (attempts_[i] != Attempt::Open) continue;
    attempts_[i] = Attempt::Abandoned;
    out.push_back(Act(DialAction::Kind::Abandon, i));
  }
  DialAction failed = Act(DialAction::Kind::Failed);
  failed.error = last_error_;
  failed.timed_out = timed_out;
  out.push_back(failed);
  finished_ = true;
}

DialActions ConnectAttempts::OnFailed(std::size_t attempt, int error) {
  DialActions out;
  if (finished_ || attempt >= attempts_.size() || attempts_[attempt] != Attempt::Open) return out;
  attempts_[attempt] = Attempt::Failed;
  last_error_ = error;
  if (next_ < order_.size()) {
    StartNext(out);
  } else if (!AnyOpen()) {
    out.push_back(Act(DialAction::Kind::StopTimer));
    Fail(false, out);
  }
  return out;
}

DialActions ConnectAttempts::OnConnected(std::size_t attempt) {
  DialActions out;
  if (finished_ || attempt >= attempts_.size() || attempts_[attempt] != Attempt::Open) return out;
  attempts_[attempt] = Attempt::Won;
  out.push_back(Act(DialAction::Kind::StopTimer));
  for (std::size_t i = 0; i < attempts_.size(); ++i) {
    if (attempts_[i] != Attempt::Open) continue;
    attempts_[i] = Attempt::Abandoned;
    out.push_back(Act(DialAction::Kind::Abandon, i));
  }
  out.push_back(Act(DialAction::Kind::Connected, attempt));
  finished_ = true;
  return out;
}

DialActions ConnectAttempts::OnTimer() {
  DialActions out;
  if (finished_) return out;
  if (next_ < order_.size())
    StartNext(out);
  else
    Fail(true, out);
  return out;
}

}  // namespace zepho

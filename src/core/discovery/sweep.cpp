#include "core/discovery/sweep.h"

#include <algorithm>
#include <array>

#include "core/net/snmp_client.h"
#include "core/ui/seams.h"
#include "os/datagram.h"

namespace tavi::discovery {

bool SweepSchedule::InFlight(const Request& r, std::int64_t now_ms) const {
  return r.sends > 0 && !r.answered &&
         (r.sends < kSendsPerRequest || now_ms < r.last_send_ms + kResendIntervalMs);
}

std::size_t SweepSchedule::InFlight(std::int64_t now_ms) const {
  const auto& rs = matcher_.requests();
  return static_cast<std::size_t>(
      std::count_if(rs.begin(), rs.end(), [&](const Request& r) { return InFlight(r, now_ms); }));
}

std::vector<std::size_t> SweepSchedule::DueSends(std::int64_t now_ms) const {
  std::vector<std::size_t> due;
  const auto& rs = matcher_.requests();
  std::size_t in_flight = InFlight(now_ms);
  // Follow-ups first: their host is known to be there.
  for (const RequestKind kind : {RequestKind::kSystemOnly, RequestKind::kFull}) {
    for (std::size_t i = 0; i < rs.size(); ++i) {
      const Request& r = rs[i];
      if (r.kind != kind || r.answered || r.sends >= kSendsPerRequest) continue;
      if (r.sends == 0) {
        if (in_flight >= kMaxInFlight) continue;
        ++in_flight;
        due.push_back(i);
      } else if (now_ms >= r.last_send_ms + kResendIntervalMs) {
        due.push_back(i);
      }
    }
  }
  return due;
}

void SweepSchedule::MarkSent(std::size_t index, std::int64_t now_ms) {
  Request& r = matcher_.requests()[index];
  ++r.sends;
  r.last_send_ms = now_ms;
  last_activity_ms_ = any_sent_ ? std::max(last_activity_ms_, now_ms) : now_ms;
  any_sent_ = true;
}

bool SweepSchedule::Finished(std::int64_t now_ms) const {
  const auto& rs = matcher_.requests();
  const bool all_answered = std::all_of(
      rs.begin(), rs.end(), [](const Request& r) { return !r.broadcast && r.answered; });
  if (all_answered) return true;
  const bool to_send = std::any_of(rs.begin(), rs.end(), [](const Request& r) {
    return !r.answered && r.sends < kSendsPerRequest;
  });
  return !to_send && now_ms >= last_activity_ms_ + kQuietEndMs;
}

std::int64_t SweepSchedule::NextDueMs(std::int64_t now_ms) const {
  std::int64_t next = last_activity_ms_ + kQuietEndMs;
  // Each request in flight has its next resend, or frees its room, one interval after its send.
  for (const Request& r : matcher_.requests()) {
    if (InFlight(r, now_ms)) next = std::min(next, r.last_send_ms + kResendIntervalMs);
  }
  return next;
}

SweepResult RunSweep(const SweepPlan& plan, DatagramEndpoint& endpoint, Clock& clock,
                     ProgressDialog* progress) {
  AnswerMatcher matcher(plan.request_id_base, plan.port, plan.community);
  for (std::uint32_t a : plan.broadcast) matcher.AddRequest(a, true);
  for (std::uint32_t a : plan.unicast) matcher.AddRequest(a, false);
  SweepSchedule schedule(matcher);

  SweepResult result;
  std::array<std::byte, kSnmpAreaSize> out{};
  std::array<std::byte, kSnmpAreaSize> in{};
  const std::int64_t start = clock.NowMs();
  std::int32_t shown = -1;
  while (true) {
    const std::int64_t now = clock.NowMs();
    if (progress != nullptr && progress->IsCancelled()) {
      result.cancelled = true;
      break;
    }
    if (plan.timeout_ms > 0 && now - start >= plan.timeout_ms) {
      result.timed_out = true;
      break;
    }
    for (std::size_t i : schedule.DueSends(now)) {
      const std::int32_t length = matcher.BuildDatagram(i, out);
      const Request& r = matcher.requests()[i];
      if (length <= 0 || !endpoint.SendTo(r.address, plan.port,
                                          std::span(out).first(static_cast<std::size_t>(length)))) {
        ++result.send_failures;
      }
      ++result.sends;
      schedule.MarkSent(i, now);
    }
    if (schedule.Finished(now)) break;

    std::int64_t wait = std::clamp<std::int64_t>(schedule.NextDueMs(now) - now, 0, kSweepSliceMs);
    if (plan.timeout_ms > 0) wait = std::min(wait, start + plan.timeout_ms - now);
    const ReceivedDatagram got = endpoint.ReceiveFrom(in, static_cast<int>(wait));
    if (got.kind == ReceivedDatagram::Kind::kError) {
      result.receive_failed = true;
      break;
    }
    if (got.kind == ReceivedDatagram::Kind::kDatagram) {
      const Verdict v =
          matcher.Accept(got.from, got.from_port, std::span(in).first(got.length), got.truncated);
      if (v == Verdict::kNewHost || v == Verdict::kFollowUp) {
        schedule.MarkAnswer(clock.NowMs());
      } else {
        ++result.ignored;
      }
    }
    if (progress != nullptr) {
      const std::size_t planned = matcher.requests().size() * kSendsPerRequest;
      const auto pos = static_cast<std::int32_t>(
          std::min<std::size_t>(99, planned == 0 ? 0 : result.sends * 100 / planned));
      if (pos != shown) {
        progress->SetProgressPos(pos);  // pumps as well
        shown = pos;
      } else {
        progress->PumpMessages(true);
      }
    }
  }
  result.hosts = matcher.Hosts();
  result.elapsed_ms = clock.NowMs() - start;
  return result;
}

}  // namespace tavi::discovery

// One discovery sweep: sends the requests paced, resends to the silent, takes the answers and
// knows when to stop. The schedule is a plain class that works on the time it is told, so tests
// run it in virtual time; RunSweep drives it with a datagram endpoint and a clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/discovery/answers.h"
#include "core/resources/constants.h"

namespace tavi {
class Clock;
class DatagramEndpoint;
class ProgressDialog;
}  // namespace tavi

namespace tavi::discovery {

// Every request is sent this many times in all (the first send and two more) while unanswered,
inline constexpr int kSendsPerRequest = 3;
// this far apart.
inline constexpr int kResendIntervalMs = 250;
// The sweep ends once nothing is left to send and this long has passed with no new answer and
// no send.
inline constexpr int kQuietEndMs = 2000;
// At most this many requests are in flight: sent, unanswered, and not yet past their last
// resend interval.
inline constexpr std::size_t kMaxInFlight = 256;
// The longest the sweep waits for a datagram before it looks at the schedule and Cancel again.
inline constexpr int kSweepSliceMs = 20;

class SweepSchedule {
 public:
  explicit SweepSchedule(AnswerMatcher& matcher) : matcher_(matcher) {}

  // The requests to send now: resends that are due, and first sends while in-flight room lasts
  // (follow-ups first, then in request order).
  std::vector<std::size_t> DueSends(std::int64_t now_ms) const;
  void MarkSent(std::size_t index, std::int64_t now_ms);
  // Tells the schedule that a new host answered (the quiet time starts again).
  void MarkAnswer(std::int64_t now_ms) { last_activity_ms_ = std::max(last_activity_ms_, now_ms); }
  // True when the sweep is over: every unicast request answered and no broadcast asked, or
  // nothing left to send and kQuietEndMs of quiet.
  bool Finished(std::int64_t now_ms) const;
  // The next moment at which something is due (a resend or the end), for the wait.
  std::int64_t NextDueMs(std::int64_t now_ms) const;
  std::size_t InFlight(std::int64_t now_ms) const;

 private:
  bool InFlight(const Request& r, std::int64_t now_ms) const;

  AnswerMatcher& matcher_;
  std::int64_t last_activity_ms_ = 0;
  bool any_sent_ = false;
};

struct SweepPlan {
  std::vector<std::uint32_t> unicast;    // host byte order
  std::vector<std::uint32_t> broadcast;  // broadcast addresses, answered by anyone
  std::uint16_t port = 161;
  int timeout_ms = 0;  // > 0: the sweep stops then at the latest
  std::uint32_t request_id_base = 1;
  std::string community{kSnmpCommunity};  // of every request; answers count only in it
};

struct SweepResult {
  std::vector<FoundHost> hosts;  // every host that answered, in address order
  bool cancelled = false;
  bool timed_out = false;
  bool receive_failed = false;  // the socket failed; the sweep stopped there
  std::size_t sends = 0;
  std::size_t send_failures = 0;
  std::size_t ignored = 0;  // datagrams that were no new answer
  std::int64_t elapsed_ms = 0;
};

// Runs the sweep to its end. `progress` (may be null) is pumped between waits, its Cancel stops
// the sweep, and its position follows the sends (range 0 to 100).
SweepResult RunSweep(const SweepPlan& plan, DatagramEndpoint& endpoint, Clock& clock,
                     ProgressDialog* progress);

}  // namespace tavi::discovery

// How long to wait for the answer to a request before sending it again. The bound starts near a
// second and learns the round trips that answers take: a smoothed round trip and its mean
// deviation, the bound being the smoothed time plus four deviations, kept between a floor and a
// ceiling. A request that goes unanswered doubles the bound (up to the ceiling) until an answer
// to a request sent only once gives a clean measurement again; the answer to a request that was
// sent more than once measures nothing, since it cannot say which send it answers.
#pragma once

#include <cstdint>

namespace tavi {

// The bound before anything was measured.
inline constexpr std::int64_t kRoundTripInitialMs = 1000;
// The shortest bound: a spurious resend is not free (a printer that carries a repeated reply read
// out again moves on to its next reply), so the bound stays above a loaded machine's jitter.
inline constexpr std::int64_t kRoundTripMinMs = 15;
// The longest bound, however often the request went unanswered.
inline constexpr std::int64_t kRoundTripMaxMs = 3000;
// How many times one request is sent at most before the read gives up.
inline constexpr int kMaxRequestSends = 8;

class RoundTripEstimate {
 public:
  // The current bound in milliseconds.
  [[nodiscard]] std::int64_t BoundMs() const { return bound_ms_; }
  // An answer came `ms` after a request that was sent once.
  void Sample(std::int64_t ms);
  // A request went unanswered within the bound: the next wait is twice as long.
  void BackOff();
  // Whether any round trip was measured yet.
  bool measured() const { return measured_; }
  // The smoothed round trip in milliseconds (0 before any measurement).
  double smoothed_ms() const { return smoothed_ms_; }

 private:
  bool measured_ = false;
  double smoothed_ms_ = 0;
  double deviation_ms_ = 0;
  std::int64_t bound_ms_ = kRoundTripInitialMs;
};

}  // namespace tavi

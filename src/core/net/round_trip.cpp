#include "core/net/round_trip.h"

#include <algorithm>
#include <cmath>

namespace tavi {
namespace {

std::int64_t Clamp(double ms) {
  const double bounded =
      std::clamp(ms, static_cast<double>(kRoundTripMinMs), static_cast<double>(kRoundTripMaxMs));
  return static_cast<std::int64_t>(std::ceil(bounded));
}

}  // namespace

void RoundTripEstimate::Sample(std::int64_t ms) {
  const double rtt = static_cast<double>(std::max<std::int64_t>(ms, 0));
  if (!measured_) {
    measured_ = true;
    smoothed_ms_ = rtt;
    deviation_ms_ = rtt / 2;
  } else {
    // Gains of 1/4 for the deviation and 1/8 for the mean, the deviation first (it uses the
    // mean before this sample).
    deviation_ms_ = 0.75 * deviation_ms_ + 0.25 * std::fabs(smoothed_ms_ - rtt);
    smoothed_ms_ = 0.875 * smoothed_ms_ + 0.125 * rtt;
  }
  bound_ms_ = Clamp(smoothed_ms_ + 4 * deviation_ms_);
}

void RoundTripEstimate::BackOff() {
  bound_ms_ = Clamp(static_cast<double>(bound_ms_) * 2);
}

}  // namespace tavi

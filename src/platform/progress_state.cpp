#include "platform/progress_state.h"

#include <algorithm>

namespace tavi {

bool ProgressState::RequestShow(bool show) {
  if (show == visible_) return false;
  visible_ = show;
  cancelled_ = false;
  if (show) {
    pos_ = 0;
    moved_ = false;
  }
  return true;
}

bool ProgressState::Cancel() {
  if (!visible_) return false;
  cancelled_ = true;
  visible_ = false;
  return true;
}

void ProgressState::SetRange(std::int32_t n) {
  upper_ = static_cast<std::int32_t>(static_cast<std::uint32_t>(n) % 65536u);
}

void ProgressState::SetPos(std::int32_t p) {
  pos_ = p;
  if (p > 0) moved_ = true;
}

std::int32_t ProgressState::shown_pos() const {
  return std::clamp<std::int32_t>(pos_, 0, upper_);
}

int ProgressState::permille() const {
  if (upper_ <= 0) return 0;
  return static_cast<int>(std::int64_t{shown_pos()} * 1000 / upper_);
}

}  // namespace tavi

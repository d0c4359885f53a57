#include "frontends/win32/app_icon.h"

namespace tavi::win {

HICON AppIcon(int metric_x) {
  const int size = GetSystemMetrics(metric_x);
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconId),
                                       IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace tavi::win

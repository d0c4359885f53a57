// The program's icon (resource 141), from the executable's resources.
#pragma once

#include "frontends/win32/win_api.h"

namespace tavi::win {

inline constexpr int kIconId = 141;

// The icon at the system's size for `metric_x` (SM_CXICON or SM_CXSMICON); shared, never freed.
HICON AppIcon(int metric_x = SM_CXICON);

}  // namespace tavi::win

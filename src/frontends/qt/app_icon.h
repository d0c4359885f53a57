// The application icon (resource 141), painted at start-up; no image file is needed.
#pragma once

#include <QIcon>

namespace tavi {

// A small wide-format printer with a sheet coming out, at 16, 32 and 48 pixels.
QIcon AppIcon();

}  // namespace tavi

#include "frontends/win32/message_pump.h"

namespace tavi::win {
namespace {

// The dialog window whose keyboard handling the message is for, or null.
HWND DialogOf(HWND target) {
  if (target == nullptr) return nullptr;
  HWND root = GetAncestor(target, GA_ROOT);
  wchar_t name[16] = {};
  GetClassNameW(root, name, 16);
  return lstrcmpW(name, L"#32770") == 0 ? root : nullptr;
}

}  // namespace

void PumpPendingMessages(bool stop_at_socket) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (stop_at_socket &&
        (msg.message == kSocketNotifyFirst || msg.message == kSocketNotifySecond)) {
      return;
    }
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return;
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    HWND dialog = DialogOf(msg.hwnd);
    if (dialog != nullptr && IsDialogMessageW(dialog, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace tavi::win

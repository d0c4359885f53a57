#include "frontends/win32/win_text.h"

#include "frontends/win32/win_api.h"

namespace tavi::win {

std::wstring DisplayText(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int size = static_cast<int>(bytes.size());
  for (UINT page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int n = MultiByteToWideChar(page, flags, bytes.data(), size, nullptr, 0);
    if (n <= 0) continue;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(page, flags, bytes.data(), size, wide.data(), n);
    return wide;
  }
  return {};
}

}  // namespace tavi::win

// The console on Windows: whether a standard handle is a console, text written to it as
// characters, the command line in UTF-8, and Ctrl-C (or Ctrl-Break) turned into a flag through
// a console control handler.
#include "os/terminal.h"

#include <fcntl.h>
#include <io.h>
// clang-format off
#include <windows.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "os/windows/wide_text.h"

namespace tavi {
namespace {

// Set from the console's control thread, read by the command's cancel source.
std::atomic<bool> g_interrupted{false};

BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  // The second Ctrl-C: the person means it; the next handler (the system's) ends the program.
  if (g_interrupted.exchange(true)) return FALSE;
  return TRUE;
}

// A console, not a file, a pipe or the NUL device (which _isatty also counts as a terminal).
bool IsConsole(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

}  // namespace

int StderrColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) {
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    if (columns > 0) return columns;
  }
  return 80;
}

bool StderrIsTerminal() {
  return IsConsole(STD_ERROR_HANDLE);
}
bool StdoutIsTerminal() {
  return IsConsole(STD_OUTPUT_HANDLE);
}
bool StdinIsTerminal() {
  return IsConsole(STD_INPUT_HANDLE);
}

void UseBinaryStandardStreams() {
  // Reports and parameter blocks written to stdout arrive byte for byte, without "\r\n".
  (void)::_setmode(_fileno(stdin), _O_BINARY);
  (void)::_setmode(_fileno(stdout), _O_BINARY);
  (void)::_setmode(_fileno(stderr), _O_BINARY);
}

struct InterruptCatcher::Saved {
  bool installed = false;
};

InterruptCatcher::InterruptCatcher() : saved_(std::make_unique<Saved>()) {
  g_interrupted.store(false);
  saved_->installed = ::SetConsoleCtrlHandler(OnConsoleControl, TRUE) != 0;
}

InterruptCatcher::~InterruptCatcher() {
  if (saved_->installed) ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
}

bool InterruptCatcher::Interrupted() {
  return g_interrupted.load();
}

std::vector<std::string> CommandLineArguments(int /*argc*/, const char* const* /*argv*/) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

bool WriteText(std::FILE* stream, std::string_view text) {
  const DWORD which = stream == stdout   ? STD_OUTPUT_HANDLE
                      : stream == stderr ? STD_ERROR_HANDLE
                                         : 0;
  // Bytes that are not UTF-8 (a report in the printer's code page) go out as they are.
  if (which == 0 || !IsConsole(which) || !IsUtf8(text)) {
    return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  }
  // What the stream holds goes first, so that the order stays.
  if (std::fflush(stream) != 0) return false;
  const std::wstring wide = Widen(text);
  const HANDLE console = ::GetStdHandle(which);
  std::size_t done = 0;
  while (done < wide.size()) {
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(wide.size() - done, 8192));
    DWORD wrote = 0;
    if (!::WriteConsoleW(console, wide.data() + done, want, &wrote, nullptr) || wrote == 0) {
      return false;
    }
    done += wrote;
  }
  return true;
}

}  // namespace tavi

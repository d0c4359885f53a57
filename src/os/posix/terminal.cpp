#include "os/terminal.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <memory>

namespace tavi {
namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void OnInterrupt(int) {
  if (g_interrupted.exchange(true)) {
    // The second interrupt: the person means it. End the way an unhandled SIGINT would.
    ::signal(SIGINT, SIG_DFL);
    ::raise(SIGINT);
  }
}

}  // namespace

int StderrColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

bool StderrIsTerminal() {
  return ::isatty(STDERR_FILENO) == 1;
}
bool StdoutIsTerminal() {
  return ::isatty(STDOUT_FILENO) == 1;
}
bool StdinIsTerminal() {
  return ::isatty(STDIN_FILENO) == 1;
}

void UseBinaryStandardStreams() {
  // POSIX streams never translate line ends.
}

struct InterruptCatcher::Saved {
  struct sigaction interrupt {};
  struct sigaction pipe {};
};

InterruptCatcher::InterruptCatcher() : saved_(std::make_unique<Saved>()) {
  g_interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Calls waiting in poll() still return early (poll is never restarted); others resume.
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, &saved_->interrupt);
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, &saved_->pipe);
}

InterruptCatcher::~InterruptCatcher() {
  ::sigaction(SIGINT, &saved_->interrupt, nullptr);
  ::sigaction(SIGPIPE, &saved_->pipe, nullptr);
}

bool InterruptCatcher::Interrupted() {
  return g_interrupted.load();
}

std::vector<std::string> CommandLineArguments(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i)
    args.emplace_back(argv[i]);
  return args;
}

bool WriteText(std::FILE* stream, std::string_view text) {
  return std::fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace tavi

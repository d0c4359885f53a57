// Test doubles for the seams: a virtual clock, a recording progress dialog, recorded messages,
// scripted file choosers and a scripted channel.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/connection/channel.h"
#include "core/ui/progress_state.h"
#include "core/ui/seams.h"

namespace tavi::test {

// Virtual time: Sleep records the wait and advances the clock at once.
class FakeClock : public Clock {
 public:
  void Sleep(int ms) override;
  std::int64_t NowMs() override { return now_ms; }

  std::int64_t now_ms = 0;
  std::vector<int> sleeps;
  // Called after every Sleep (e.g. to press Cancel at a chosen moment).
  std::function<void(int ms)> on_sleep;
};

// Records every call as a short event ("show", "hide", "range 100", "pos 50", "pump") and keeps
// the shared progress state.
class RecordingProgress : public ProgressDialog {
 public:
  void Show(bool show) override;
  void SetProgressRange(std::int32_t n) override;
  void SetProgressPos(std::int32_t p) override;
  bool IsCancelled() const override { return state.cancelled(); }
  void PumpMessages(bool stop_at_socket) override;
  void NamePrinter(std::string_view words) override;
  void SetStep(const ProgressStep& step) override;

  // What the user does: Cancel sets the flag and hides the window.
  void PressCancel();
  bool visible() const { return state.visible(); }

  ProgressState state;
  std::vector<std::string> events;
  std::vector<std::int32_t> positions;  // every SetProgressPos value, in order
  std::vector<std::string> printers;    // every NamePrinter text, in order
  std::vector<ProgressStep> steps;      // every SetStep, in order
  int pumps = 0;
  // Called on every pump (a test can press Cancel from here).
  std::function<void()> on_pump;
};

struct ShownMessage {
  int id = 0;
  std::string details;
  std::string file_error;  // FileErrorText for a file error, else empty
};

class RecordingMessages : public Messages {
 public:
  void ShowMessage(int id, std::string_view details) override;
  void ShowFileError(const FileError& error) override;
  void NoteCancelled(int id, std::string_view details) override;
  std::vector<int> Ids() const;

  std::vector<ShownMessage> shown;
  std::vector<ShownMessage> cancelled;
  // Called as each message is shown.
  std::function<void()> on_show;  // steps a Cancel ended: nothing was shown for them
};

// Answers each question with the next scripted path ("" = cancelled).
class ScriptedFileChooser : public FileChooser {
 public:
  std::string AskOpenFile(FileKind kind = FileKind::kOther) override;
  std::string AskSaveFile(FileKind kind = FileKind::kOther) override;

  std::deque<std::string> open_answers;
  std::deque<std::string> save_answers;
  int open_asked = 0;
  int save_asked = 0;
  std::vector<FileKind> kinds;  // the kind of every question, in order
};

// A channel whose behaviour the test scripts; it records every call.
class FakeChannel : public Channel {
 public:
  bool Open(Failure& failure) override;
  bool Write(std::span<const std::byte> bytes, Failure& failure) override;
  bool ReadReply(std::string& out, Failure& failure) override;
  void Close() override;
  std::string PortWords() const override { return port_words; }
  int WriteFailureId() const override { return write_failure_id; }
  int ReadFailureId() const override { return read_failure_id; }
  ResetPolicy AfterReset() const override { return after_reset; }

  // What the fake says of its port.
  std::string port_words = "fake port";
  int write_failure_id = kIdsFailedToWrite;
  int read_failure_id = kIdsFailedToRead;
  ResetPolicy after_reset = ResetPolicy::kWait;

  // Failure to report when an operation fails (message id 0 = succeed).
  int fail_open_with = 0;
  int fail_write_with = 0;     // every write fails
  int fail_write_number = -1;  // only the write with this 0-based number fails
  int fail_read_with = 0;
  // Replies handed out in order; when they run out, `default_reply` is repeated.
  std::deque<std::string> replies;
  std::string default_reply;
  // Optional reply source that wins over `replies` (called with the 0-based read number).
  std::function<std::string(int)> reply_source;

  bool is_open = false;
  int opens = 0;
  int closes = 0;
  int reads = 0;
  std::vector<std::string> writes;  // every write's bytes, in order
  std::vector<std::string> calls;   // "open", "write", "read", "close"
};

// Fails the calling test unless every one of `steps` occurs in `text`, each after the one
// before (a trace's lines in the order they happened).
void ExpectInOrder(const std::string& text, const std::vector<std::string>& steps);

// Fails the calling test if either access code, or any 16-character piece of one, is in `text`.
void ExpectNoAccessCode(const std::string& text, const std::string& what);

}  // namespace tavi::test

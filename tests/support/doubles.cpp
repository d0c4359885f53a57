#include "support/doubles.h"

#include <gtest/gtest.h>

#include "core/resources/constants.h"

namespace tavi::test {

void FakeClock::Sleep(int ms) {
  sleeps.push_back(ms);
  if (ms > 0) now_ms += ms;
  if (on_sleep) on_sleep(ms);
}

void RecordingProgress::Show(bool show) {
  events.push_back(show ? "show" : "hide");
  state.RequestShow(show);
}

void RecordingProgress::SetProgressRange(std::int32_t n) {
  state.SetRange(n);
  events.push_back("range " + std::to_string(state.upper()));
  PumpMessages(false);
}

void RecordingProgress::SetProgressPos(std::int32_t p) {
  state.SetPos(p);
  positions.push_back(p);
  events.push_back("pos " + std::to_string(p));
  PumpMessages(false);
}

void RecordingProgress::PumpMessages(bool) {
  ++pumps;
  if (on_pump) on_pump();
}

void RecordingProgress::NamePrinter(std::string_view words) {
  printers.emplace_back(words);
  state.NamePrinter(words);
}

void RecordingProgress::SetStep(const ProgressStep& step) {
  steps.push_back(step);
  state.SetStep(step);
}

void RecordingProgress::PressCancel() {
  if (state.Cancel()) events.push_back("cancel");
}

void RecordingMessages::ShowMessage(int id, std::string_view details) {
  shown.push_back({id, std::string(details), {}});
  if (on_show) on_show();
}

void RecordingMessages::NoteCancelled(int id, std::string_view details) {
  cancelled.push_back({id, std::string(details), {}});
}

void RecordingMessages::ShowFileError(const FileError& error) {
  shown.push_back({-1, {}, FileErrorText(error)});
}

std::vector<int> RecordingMessages::Ids() const {
  std::vector<int> ids;
  for (const auto& m : shown) ids.push_back(m.id);
  return ids;
}

std::string ScriptedFileChooser::AskOpenFile(FileKind kind) {
  ++open_asked;
  kinds.push_back(kind);
  if (open_answers.empty()) return {};
  std::string answer = open_answers.front();
  open_answers.pop_front();
  return answer;
}

std::string ScriptedFileChooser::AskSaveFile(FileKind kind) {
  ++save_asked;
  kinds.push_back(kind);
  if (save_answers.empty()) return {};
  std::string answer = save_answers.front();
  save_answers.pop_front();
  return answer;
}

bool FakeChannel::Open(Failure& failure) {
  calls.push_back("open");
  ++opens;
  if (fail_open_with != 0) {
    failure.message_id = fail_open_with;
    return false;
  }
  is_open = true;
  return true;
}

bool FakeChannel::Write(std::span<const std::byte> bytes, Failure& failure) {
  calls.push_back("write");
  const int number = static_cast<int>(writes.size());
  writes.emplace_back(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (fail_write_with != 0 && (fail_write_number < 0 || fail_write_number == number)) {
    failure.message_id = fail_write_with;
    return false;
  }
  return true;
}

bool FakeChannel::ReadReply(std::string& out, Failure& failure) {
  calls.push_back("read");
  const int number = reads++;
  if (fail_read_with != 0) {
    failure.message_id = fail_read_with;
    return false;
  }
  if (reply_source) {
    out = reply_source(number);
  } else if (!replies.empty()) {
    out = replies.front();
    replies.pop_front();
  } else {
    out = default_reply;
  }
  return true;
}

void FakeChannel::Close() {
  calls.push_back("close");
  ++closes;
  is_open = false;
}

void ExpectInOrder(const std::string& text, const std::vector<std::string>& steps) {
  std::size_t at = 0;
  for (const std::string& step : steps) {
    const std::size_t found = text.find(step, at);
    ASSERT_NE(found, std::string::npos) << "missing after offset " << at << ": " << step << "\n"
                                        << text;
    at = found + step.size();
  }
}

void ExpectNoAccessCode(const std::string& text, const std::string& what) {
  for (std::string_view code : {AccessCodeA(), AccessCodeB()}) {
    for (std::size_t i = 0; i + 16 <= code.size(); i += 4) {
      ASSERT_EQ(text.find(code.substr(i, 16)), std::string::npos) << what << ": piece at " << i;
    }
  }
}

}  // namespace tavi::test

// The one object through which every byte reaches the printer and every reply comes back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/connection/channel.h"
#include "core/settings/port_settings.h"
#include "core/trace/trace.h"
#include "core/trace/traced_messages.h"

namespace tavi {

class Clock;
class Messages;
class ProgressDialog;

// The details of "Failed to open port." for a port kind outside 0..2.
std::string UnknownPortKindDetails(std::int32_t kind);

class PrinterConnection {
 public:
  // `settings` are the values loaded at start (the caller loads and saves them around the
  // connection's life). `progress`, `messages` and `clock` outlive the connection. `trace`
  // receives every open, write, reply, wait and failure (off by default).
  PrinterConnection(PortSettings settings, ProgressDialog& progress, Messages& messages,
                    Clock& clock, ChannelFactory factory, Trace trace = {});
  ~PrinterConnection();
  PrinterConnection(const PrinterConnection&) = delete;
  PrinterConnection& operator=(const PrinterConnection&) = delete;

  // Opens the channel of the current port kind. Shows its message (104 or 107) on failure; a
  // port kind outside 0..2 (a hand-edited settings file) fails with 107 and says so.
  bool Open();
  // Fails at once without a message when the progress dialog was cancelled.
  // Otherwise sends the bytes; shows 105 or 108 on failure.
  // `payload` says how the trace shows the bytes (a parameter image only by length and check
  // byte, a firmware image only by length).
  bool Write(std::span<const std::byte> bytes, Payload payload = Payload::kBytes);
  bool Write(std::string_view text);
  // Fails at once without a message when cancelled. Otherwise fetches one reply text into
  // `out`; shows 104/105/106 or 109 on failure.
  bool ReadReply(std::string& out);
  // Asks whether the printer answers: opens the channel of the current port kind, reads one
  // reply text and closes it again, without a message (a printer that restarts does not answer
  // for a while). False at once when cancelled. Nothing else may be open.
  [[nodiscard]] bool Answers();
  // Always true.
  bool Close();
  // Waits for the printer to restart (3000 ms); a channel that asks for it (USB) is closed
  // before the wait and opened again after it.
  bool ReopenAfterReset();

  std::int32_t FamilyNumber() const { return settings_.FamilyNumber(); }
  // The printer in the technician's words ("127.0.0.7 (network)", "parallel port"): the open
  // channel's, else the current port kind's.
  std::string PrinterWords() const { return PortWords(open_channel_); }
  std::string_view AccessCodeLine() const;

  // The chunk count of the exchange in progress (written by the command exchange).
  std::int32_t chunk_count = 0;

  PortSettings& settings() { return settings_; }
  const PortSettings& settings() const { return settings_; }
  ProgressDialog& progress() { return progress_; }
  // Every message shown through here is also written to the trace.
  Messages& messages() { return traced_messages_; }
  // The same, with what was said since it was last told to forget.
  TracedMessages& said() { return traced_messages_; }
  // A file an operation made on its own (not one the person chose), with its role, for the
  // record of the operation: the record's keeper takes them when the operation is over.
  void NoteFile(std::string path, std::string role) {
    noted_files_.emplace_back(std::move(path), std::move(role));
  }
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> TakeNotedFiles() {
    return std::exchange(noted_files_, {});
  }
  // The clock of every fixed wait; it writes each wait to the trace.
  Clock& clock() { return traced_clock_; }

  // The wire trace of what follows (off by default). The channels see the change at once.
  void set_trace(Trace trace) { trace_ = trace; }
  const Trace& trace() const { return trace_; }

 private:
  Channel* ChannelFor(std::int32_t kind);
  // The open's words for the trace: the channel's, else why there is none.
  std::string PortWords(const Channel* channel) const;
  // The message of a write or read with nothing open: the current kind's channel names it.
  int NotOpenFailureId(int (Channel::*id)() const, int fallback);
  void Report(const Failure& failure);

  PortSettings settings_;
  ProgressDialog& progress_;
  Messages& messages_;
  Clock& clock_;
  Trace trace_;
  TracedClock traced_clock_{clock_, trace_};
  TracedMessages traced_messages_{messages_, trace_};
  ChannelFactory factory_;
  std::map<std::int32_t, std::unique_ptr<Channel>> channels_;
  Channel* open_channel_ = nullptr;
  std::vector<std::pair<std::string, std::string>> noted_files_;
};

}  // namespace tavi

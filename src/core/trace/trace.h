// The wire trace: one line per event (name look-up, connect, each data file and acknowledgement,
// each SNMP datagram, each device write and device ID, every fixed wait, Cancel, the outcome),
// each stamped with the milliseconds since the trace began.
//
// A Trace is a small handle, passed by value to whatever talks to a printer; a default-made one
// is off and costs one test per event. There is no process-wide trace: every operation, and
// every printer when several run at once, writes to the sink it was given. A sink is used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/ui/seams.h"

namespace tavi {

// Where the lines of a trace go.
class TraceSink {
 public:
  virtual ~TraceSink() = default;
  // One line without its line end. `keep` marks a line that must survive a full sink (the
  // outcome): a bounded sink keeps room for such lines.
  virtual void WriteLine(std::string_view line, bool keep) = 0;
};

class Trace {
 public:
  // Off: every event is dropped.
  Trace() = default;
  // On: lines go to `sink`, stamped with `clock`'s milliseconds since now. Both outlive every
  // copy of the handle.
  Trace(TraceSink& sink, Clock& clock);

  bool on() const { return sink_ != nullptr; }
  // "   1234 ms lpd   <text>". `topic` names the layer: "net", "lpd", "snmp", "usb", ...
  void Event(std::string_view topic, std::string_view text) const;
  // The same for a line that a full sink must still take (the outcome of an operation).
  void Outcome(std::string_view text) const;

 private:
  void Write(std::string_view topic, std::string_view text, bool keep) const;

  TraceSink* sink_ = nullptr;
  Clock* clock_ = nullptr;
  std::int64_t start_ms_ = 0;
};

// What the bytes of one write are, for the trace.
enum class Payload {
  kBytes,           // commands, console frames: the first bytes are shown
  kParameterImage,  // only the length and the check byte are shown
  kFirmware,        // only the length is shown
};

// How many bytes of a write the trace shows at most.
inline constexpr std::size_t kTraceShownBytes = 32;

// Up to `max_bytes` bytes as lower-case hex pairs separated by spaces, with " ..." when cut.
std::string HexBytes(std::span<const std::byte> bytes, std::size_t max_bytes);

// One write, for the trace, never showing an access code:
//   510 bytes: OPEN CODE=<access code B>
//   10 bytes: 47 45 54 20 52 45 50 4f 52 54 "GET REPORT"
//   4097 bytes of parameter image, check byte 0x5a
//   102400 bytes of firmware image
// The access-code line (alone or at the start of a write) is shown by name; a write that holds
// a piece of an access code anywhere in the bytes it would show is shown by its length only.
std::string DescribePayload(std::span<const std::byte> bytes, Payload kind);

// Any text (a datagram's hex is safe; a reply text may be anything) with every occurrence of
// either access code replaced by its name.
std::string WithoutAccessCodes(std::string_view text);

// `text` with every byte outside printable ASCII written as \xNN, access codes by name.
std::string PrintableText(std::string_view text);

// A clock that writes every fixed wait to the trace before it waits on `base`.
class TracedClock final : public Clock {
 public:
  TracedClock(Clock& base, const Trace& trace) : base_(base), trace_(trace) {}
  void Sleep(int ms) override;
  std::int64_t NowMs() override { return base_.NowMs(); }

 private:
  Clock& base_;
  const Trace& trace_;
};

}  // namespace tavi

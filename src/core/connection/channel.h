// One channel per port kind (parallel, USB, network) behind one small interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "core/failure/failure.h"
#include "core/resources/strings.h"

namespace tavi {

class Clock;
class ProgressDialog;
class Trace;
struct PortSettings;

// What a printer reset asks of a channel. Every channel waits for the printer's restart; one
// whose device leaves the system while the printer restarts is closed before the wait and
// opened again after it.
enum class ResetPolicy { kWait, kReopen };

// A channel owns its port: how it opens, writes and reads, the words the trace uses for it, the
// messages of its failures and what a printer reset asks of it. The printer connection only
// asks; it holds no rule of its own for any port kind.
class Channel {
 public:
  virtual ~Channel() = default;
  // The port in the technician's words, as the trace shows an open ("parallel port", "USB",
  // "network, host 'printer7'"). Read at each open, so it follows the settings.
  virtual std::string PortWords() const = 0;
  // The messages of a write and a read that cannot be tried because nothing is open, and of a
  // failure that named no message of its own.
  virtual int WriteFailureId() const { return kIdsFailedToWrite; }
  virtual int ReadFailureId() const { return kIdsFailedToRead; }
  // What a printer reset asks of this channel (waiting only, unless the channel says more).
  virtual ResetPolicy AfterReset() const { return ResetPolicy::kWait; }
  // Makes the channel ready. On failure fills `failure` (its message 104..109, or 0 for the
  // caller's) and returns false.
  virtual bool Open(Failure& failure) = 0;
  // Sends all bytes. On failure fills `failure` and returns false.
  virtual bool Write(std::span<const std::byte> bytes, Failure& failure) = 0;
  // Fetches one reply text into `out`. On failure fills `failure` and returns false.
  virtual bool ReadReply(std::string& out, Failure& failure) = 0;
  // Releases the channel; never fails.
  virtual void Close() = 0;
};

// What a channel may use of its printer connection. Everything outlives the channel.
struct ChannelContext {
  const PortSettings& settings;  // port kind, host list, selected host (read at each open)
  ProgressDialog& progress;      // cancel source and pump while a call blocks
  Clock& clock;                  // every fixed wait goes to the trace
  const Trace& trace;            // the connection's wire trace (off, or the operation's)
};

// Makes the channel for a port kind (0, 1, 2). Returns null when that kind has no channel in
// this build, which the printer connection reports as a failed open (107).
using ChannelFactory =
    std::function<std::unique_ptr<Channel>(std::int32_t port_kind, const ChannelContext& context)>;

}  // namespace tavi

// One LPD connection of the virtual printer (RFC 1179, receive-job only): one model session per
// job, one model write per data file. What one connection may hold is bounded: a line, one data
// file and one receive buffer; every line and data file must arrive within its own time (the
// idle limit of the options, and a data file more in proportion to its size). A job whose
// answer is being polled over SNMP waits for its next line as long as the polling goes on.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tavi {
class Clock;
class SimStream;
}  // namespace tavi

namespace tavi::sim {

class PrinterModel;

// Limits on what a client may send.
inline constexpr std::size_t kLpdMaxLine = 256;
// Larger than any data file the program sends (a parameter image, a firmware chunk).
inline constexpr std::size_t kLpdMaxFileBytes = 1u << 20;
// A data file may take longer in proportion to its size, at this rate at least.
inline constexpr std::size_t kLpdMinBytesPerSecond = 64u << 10;
// One receive takes at most this much.
inline constexpr std::size_t kLpdReceiveChunk = 16u << 10;

// Serves one connection until the client closes, breaks the protocol, stays too long on one
// step, or `stop` is set. `peer` names the client in the log. `clock` measures the steps and
// paces the slow-acknowledgement fault.
void ServeLpdConnection(SimStream& stream, const std::string& peer, PrinterModel& model,
                        Clock& clock, const std::atomic<bool>& stop);

}  // namespace tavi::sim

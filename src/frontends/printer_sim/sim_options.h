// How a virtual printer behaves: its family, how it publishes replies, and the faults it plays.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/resources/constants.h"

namespace tavi::sim {

// The order in which the reply texts of one answer are published (each cycles until the
// closing zero byte).
enum class Schedule {
  kInOrder,      // header, chunks 1..N
  kShuffled,     // header, chunks in a shuffled order
  kRepeated,     // header, every chunk twice in a row
  kChunksFirst,  // chunks 1..N, then the header
  kGaps,         // an empty reply text between fields
  kWrapped,      // text around every field: "STATUS=IDLE;REPORT:3,...;X"
};

// Hostile content mixed into an answer, to see the poller defend itself.
enum class Hostile {
  kNone,
  kLongPayload,    // an extra field whose payload is over 511 characters
  kBigChunk,       // an extra chunk 1 carrying more than 128 bytes
  kNegativeCount,  // the header announces a negative count
  kHugeCount,      // the header announces a count too large to allocate for
  kOutOfRange,     // extra fields with indexes -1, 0 (as a chunk) and N + 1
};

struct SnmpFaults {
  bool silent = false;            // never answers
  std::int32_t error_status = 0;  // nonzero: every response carries it
  bool truncated = false;         // sends only the first half of each response
  bool malformed = false;         // value length points past the end of the datagram
  // A request repeated by its sender (the same datagram from the same peer, as a client sends
  // again when an answer was lost) gets the answer it already had, as an agent that keeps its
  // last answer does; otherwise it is carried out again, and a reply read moves on.
  bool answer_repeats = false;
};

struct LpdFaults {
  bool refuse_job = false;            // answers the receive-job command with 01
  std::int32_t refuse_data_file = 0;  // k > 0: answers the k-th data file of a job with 01
  bool close_instead_of_ack = false;  // closes after a data file instead of acknowledging it
  bool refuse_connections = false;    // no listener: connects are refused
  std::int32_t ack_delay_ms = 0;      // every acknowledgement comes this late
};

// An LPD connection that sends nothing for this long is dropped, unless the answer to its job's
// command is being polled.
inline constexpr std::int32_t kLpdIdleMs = 30000;

struct SimOptions {
  std::int32_t family = 2;  // 1: access code A, 2: access code B
  // What the SNMP agent says the device is (sysDescr.0, sysObjectID.0, sysName.0); empty: the
  // defaults of SysDescrOf, SysObjectIdOf and SysNameOf. A sysObjectID outside the family's
  // enterprise number plays another maker's device, which has none of the family's objects.
  std::string sys_descr;
  std::string sys_object_id;
  std::string sys_name;
  Schedule schedule = Schedule::kInOrder;
  Hostile hostile = Hostile::kNone;
  bool no_header = false;             // the header never comes
  bool params_not_stored = false;     // a parameter image is taken, but the block stays as it was
  std::int32_t reply_delay_ms = 300;  // replies are published from this long after the command
  std::int32_t away_ms = 5000;        // how long a restart keeps the printer away
  std::uint32_t shuffle_seed = 1;
  bool report_crlf = true;                // line ends of the built-in report
  std::optional<std::string> report;      // replaces the built-in report
  std::optional<std::string> params;      // replaces the built-in parameter block
  std::string community{kSnmpCommunity};  // the SNMP agent answers only this community
  SnmpFaults snmp;
  LpdFaults lpd;
  std::int32_t lpd_idle_ms = kLpdIdleMs;
};

// The system objects the agent answers: the option, else "Tavi virtual printer (Type2)", the
// family's enterprise number + ".1." + family, and "tavi-printer-sim".
std::string SysDescrOf(const SimOptions& options);
std::string SysObjectIdOf(const SimOptions& options);
std::string SysNameOf(const SimOptions& options);

// Names used on the command line and in the log ("in-order", "shuffled", ...).
std::string_view ScheduleName(Schedule schedule);
std::optional<Schedule> ParseSchedule(std::string_view name);
std::string_view HostileName(Hostile hostile);
std::optional<Hostile> ParseHostile(std::string_view name);

}  // namespace tavi::sim

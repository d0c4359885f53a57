// The verified restore: after a restore and the printer's reset, wait until the printer answers
// again, read its parameter block with the normal Get Parameters exchange and compare it with the
// block that was restored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/operations/flow_outcome.h"

namespace tavi {

class PrinterConnection;

// How long a restarting printer may take to answer again, and how often it is asked meanwhile.
inline constexpr int kAnswerWaitLimitMs = 60000;
inline constexpr int kAnswerProbeIntervalMs = 1000;
// A difference names at most this many ranges, each with at most this many bytes a side.
inline constexpr std::size_t kMismatchRangesShown = 8;
inline constexpr std::size_t kMismatchBytesShown = 16;

// `image` is the parameter image just restored (the block and its check byte). The wait shows
// the progress window, whose Cancel (in tavi-cli: Ctrl-C or --timeout) ends it at once.
// kSuccess: the block read back equals the restored one, and the message says so.
// kMismatch: it differs; the message's details name the first differing ranges.
// kFailed: no answer within kAnswerWaitLimitMs (its message), a failed read (the read's message),
// or Cancel (nothing shown).
[[nodiscard]] FlowOutcome VerifyRestore(PrinterConnection& connection,
                                        std::span<const std::uint8_t> image);

}  // namespace tavi

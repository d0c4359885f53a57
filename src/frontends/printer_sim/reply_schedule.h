// The reply texts of one chunked answer, in the order the printer publishes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/protocol/reply_framing.h"
#include "frontends/printer_sim/sim_options.h"

namespace tavi::sim {

// The number of chunks for `size` bytes (at least 1: an empty answer is one empty chunk).
std::int32_t ChunkCount(std::size_t size);

// "<marker>0,<count>;"
std::string HeaderField(std::string_view marker, std::int64_t count);
// "<marker><index>,<hex of data>;" (upper-case hexadecimal pairs).
std::string ChunkField(std::string_view marker, std::int64_t index, std::string_view data);

// One cycle of reply texts for `data` under `marker`: the poller is handed them in order and
// then again from the start until the closing zero byte. Every schedule shows the header (unless
// `options.no_header`) and every chunk at least once per cycle.
std::vector<std::string> BuildReplyCycle(std::string_view marker, std::string_view data,
                                         const SimOptions& options);

}  // namespace tavi::sim

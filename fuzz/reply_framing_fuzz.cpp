// Treats the input as a series of reply texts, one per line: the first byte picks the marker,
// the form and the chunk count; every line goes through the field extraction, the index and
// count readers and the chunk assembly. Checks the readers' positions and counts and the
// assembly's results against their bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/protocol/reply_framing.h"
#include "core/resources/constants.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool report = (data[0] & 0x80) != 0;
  const std::int32_t count = (data[0] & 0x7F) % 9;  // 0..8; 0 gives an empty assembly
  const std::string_view marker = report ? tavi::kMarkerReport : tavi::kMarkerReadParam;
  const std::string all(reinterpret_cast<const char*>(data) + 1, size - 1);

  tavi::ChunkAssembly assembly(report ? tavi::ChunkForm::kReport : tavi::ChunkForm::kParameter,
                               count);
  std::size_t begin = 0;
  while (begin <= all.size()) {
    std::size_t end = all.find('\n', begin);
    if (end == std::string::npos) end = all.size();
    // An exact-size copy of the reply text.
    const std::string text = all.substr(begin, end - begin);
    begin = end + 1;

    const std::string payload = tavi::ExtractReplyField(text, marker);
    if (payload.size() > text.size()) std::abort();
    const std::string_view working = tavi::WorkingPayload(payload);
    if (working.size() > tavi::kMaxPayloadLength) std::abort();
    const tavi::PayloadIndex at = tavi::ReadPayloadIndex(payload);
    if (at.stop > working.size()) std::abort();
    if (at.stop == 0 && at.index != 0) std::abort();
    const std::int32_t n = tavi::ReadHeaderCount(payload, at.stop);
    if (n < 0 || n > tavi::kMaxChunkCount) std::abort();

    const std::int32_t before = assembly.received();
    const bool stored = assembly.Offer(payload);
    if (assembly.received() != before + (stored ? 1 : 0)) std::abort();
    if (stored && (at.index < 1 || at.index > count)) std::abort();
    if (assembly.received() > assembly.count()) std::abort();
  }

  if (report) {
    const std::string text = assembly.ReportText();
    if (text.size() > static_cast<std::size_t>(count) * tavi::kChunkDataBytes) std::abort();
    if (!assembly.complete() && !text.empty()) std::abort();
  } else {
    std::vector<std::uint8_t> dest(static_cast<std::size_t>(count) * tavi::kChunkDataBytes);
    const std::int32_t copied = assembly.CopyParameters(dest);
    if (assembly.complete() ? copied < 0 : copied != -1) std::abort();
    if (copied > static_cast<std::int32_t>(dest.size())) std::abort();
  }
  return 0;
}

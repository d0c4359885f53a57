#include "frontends/printer_sim/reply_schedule.h"

#include <algorithm>
#include <random>

namespace tavi::sim {
namespace {

constexpr std::string_view kWrapBefore = "STATUS=IDLE;";
constexpr std::string_view kWrapAfter = "X";

std::string Hex(std::string_view data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(data.size() * 2);
  for (char c : data) {
    const auto u = static_cast<unsigned char>(c);
    out.push_back(kDigits[u >> 4]);
    out.push_back(kDigits[u & 0x0f]);
  }
  return out;
}

// The extra fields that a hostile printer mixes in after the header.
std::vector<std::string> HostileFields(std::string_view marker, std::int32_t count,
                                       const SimOptions& options) {
  std::vector<std::string> out;
  switch (options.hostile) {
    case Hostile::kLongPayload:
      // A payload of 1 + 1 + 600 characters: past the 511 the poller copies.
      out.push_back(ChunkField(marker, 1, std::string(300, 'L')));
      break;
    case Hostile::kBigChunk:
      out.push_back(ChunkField(marker, 1, std::string(200, 'B')));
      break;
    case Hostile::kOutOfRange:
      out.push_back(ChunkField(marker, -1, "neg"));
      out.push_back(ChunkField(marker, count + 1, "past the end"));
      out.push_back(std::string(marker) + "99999999999999999999,41;");
      break;
    default:
      break;
  }
  return out;
}

}  // namespace

std::int32_t ChunkCount(std::size_t size) {
  if (size == 0) return 1;
  return static_cast<std::int32_t>((size + kChunkDataBytes - 1) / kChunkDataBytes);
}

std::string HeaderField(std::string_view marker, std::int64_t count) {
  return std::string(marker) + "0," + std::to_string(count) + ";";
}

std::string ChunkField(std::string_view marker, std::int64_t index, std::string_view data) {
  return std::string(marker) + std::to_string(index) + "," + Hex(data) + ";";
}

std::vector<std::string> BuildReplyCycle(std::string_view marker, std::string_view data,
                                         const SimOptions& options) {
  const std::int32_t count = ChunkCount(data.size());
  std::vector<std::string> chunks;
  for (std::int32_t k = 1; k <= count; ++k) {
    const std::size_t from = static_cast<std::size_t>(k - 1) * kChunkDataBytes;
    const std::string_view part =
        from < data.size() ? data.substr(from, kChunkDataBytes) : std::string_view{};
    chunks.push_back(ChunkField(marker, k, part));
  }

  std::string header = HeaderField(marker, count);
  if (options.hostile == Hostile::kNegativeCount) header = HeaderField(marker, -count);
  if (options.hostile == Hostile::kHugeCount) header = HeaderField(marker, 2147483647);

  std::vector<std::string> hostile = HostileFields(marker, count, options);

  std::vector<std::string> cycle;
  auto add_header = [&] {
    if (!options.no_header) cycle.push_back(header);
    cycle.insert(cycle.end(), hostile.begin(), hostile.end());
  };
  switch (options.schedule) {
    case Schedule::kInOrder:
    case Schedule::kGaps:
    case Schedule::kWrapped:
      add_header();
      cycle.insert(cycle.end(), chunks.begin(), chunks.end());
      break;
    case Schedule::kShuffled: {
      add_header();
      std::mt19937 random(options.shuffle_seed);
      std::shuffle(chunks.begin(), chunks.end(), random);
      cycle.insert(cycle.end(), chunks.begin(), chunks.end());
      break;
    }
    case Schedule::kRepeated:
      add_header();
      for (const auto& c : chunks) {
        cycle.push_back(c);
        cycle.push_back(c);
      }
      break;
    case Schedule::kChunksFirst:
      cycle.insert(cycle.end(), chunks.begin(), chunks.end());
      add_header();
      break;
  }

  if (options.schedule == Schedule::kGaps) {
    std::vector<std::string> spaced;
    for (auto& text : cycle) {
      spaced.push_back(std::move(text));
      spaced.emplace_back();
    }
    cycle = std::move(spaced);
  } else if (options.schedule == Schedule::kWrapped) {
    for (auto& text : cycle) text = std::string(kWrapBefore) + text + std::string(kWrapAfter);
  }
  return cycle;
}

}  // namespace tavi::sim

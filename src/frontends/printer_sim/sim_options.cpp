#include "frontends/printer_sim/sim_options.h"

#include <array>
#include <utility>

#include "core/resources/constants.h"

namespace tavi::sim {
namespace {

constexpr std::array<std::pair<Schedule, std::string_view>, 6> kSchedules = {{
    {Schedule::kInOrder, "in-order"},
    {Schedule::kShuffled, "shuffled"},
    {Schedule::kRepeated, "repeated"},
    {Schedule::kChunksFirst, "chunks-first"},
    {Schedule::kGaps, "gaps"},
    {Schedule::kWrapped, "wrapped"},
}};

constexpr std::array<std::pair<Hostile, std::string_view>, 6> kHostiles = {{
    {Hostile::kNone, "none"},
    {Hostile::kLongPayload, "long-payload"},
    {Hostile::kBigChunk, "big-chunk"},
    {Hostile::kNegativeCount, "negative-count"},
    {Hostile::kHugeCount, "huge-count"},
    {Hostile::kOutOfRange, "out-of-range"},
}};

}  // namespace

std::string SysDescrOf(const SimOptions& options) {
  if (!options.sys_descr.empty()) return options.sys_descr;
  const std::string_view name = options.family == 1 ? kFamilyNames[0] : kFamilyNames[1];
  return "Tavi virtual printer (" + std::string(name) + ")";
}

std::string SysObjectIdOf(const SimOptions& options) {
  if (!options.sys_object_id.empty()) return options.sys_object_id;
  return std::string(kFamilyEnterpriseOid) + ".1." + std::to_string(options.family);
}

std::string SysNameOf(const SimOptions& options) {
  return options.sys_name.empty() ? std::string("tavi-printer-sim") : options.sys_name;
}

std::string_view ScheduleName(Schedule schedule) {
  for (const auto& [value, name] : kSchedules) {
    if (value == schedule) return name;
  }
  return "?";
}

std::optional<Schedule> ParseSchedule(std::string_view name) {
  for (const auto& [value, text] : kSchedules) {
    if (text == name) return value;
  }
  return std::nullopt;
}

std::string_view HostileName(Hostile hostile) {
  for (const auto& [value, name] : kHostiles) {
    if (value == hostile) return name;
  }
  return "?";
}

std::optional<Hostile> ParseHostile(std::string_view name) {
  for (const auto& [value, text] : kHostiles) {
    if (text == name) return value;
  }
  return std::nullopt;
}

}  // namespace tavi::sim

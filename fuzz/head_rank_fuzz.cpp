// Loads arbitrary bytes as a head rank file (exact-size copy). A legal line must give fields
// that rebuild a legal spaced line; an illegal one or none must leave the fields untouched.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/files/head_rank.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  tavi::HeadRankFields fields;
  const tavi::HeadRankFields defaults;
  const tavi::HeadRankLoad result = tavi::LoadHeadRankText(text, fields);
  const auto line = tavi::FindHeadRankLine(text);
  if (line.has_value() != (result != tavi::HeadRankLoad::kNoLine)) std::abort();
  if (line && (line->empty() || line->front() == '#' || line->data() < text.data() ||
               line->data() + line->size() > text.data() + text.size())) {
    std::abort();
  }
  if (result == tavi::HeadRankLoad::kApplied) {
    const std::string rebuilt = tavi::BuildHeadRankString(fields);
    if (!tavi::IsValidHeadRankLine(rebuilt, true)) std::abort();
    for (std::size_t i = 0; i < tavi::kHeadRankFieldCount; ++i) {
      if (fields.f[i].size() != tavi::kHeadRankMaxLengths[i]) std::abort();
    }
  } else if (fields.f != defaults.f) {
    std::abort();
  }
  return 0;
}

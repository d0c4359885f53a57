// The little JSON the journal needs: strings written safely, and a bounded reader of one object
// whose values are strings, integers, null, or arrays of such objects.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::json_text {

// `text` as a JSON string with its quotes; bytes that are not valid UTF-8 become U+FFFD.
[[nodiscard]] std::string Quote(std::string_view text);

struct Value;
using Object = std::map<std::string, Value, std::less<>>;

struct Value {
  enum class Kind { kNull, kString, kInteger, kArray };
  Kind kind = Kind::kNull;
  std::string text;
  std::int64_t integer = 0;
  std::vector<Object> items;  // kArray: objects only
};

// Reads one object that fills `line` (white space around it allowed); nothing when the text is
// not such an object or nests deeper than arrays of flat objects.
[[nodiscard]] std::optional<Object> ParseObject(std::string_view line);

}  // namespace tavi::json_text

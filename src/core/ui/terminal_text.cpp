#include "core/ui/terminal_text.h"

#include <cstddef>

namespace tavi {
namespace {

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at `at`, or 0 when none starts there.
std::size_t Utf8Length(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  std::size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (bytes.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(bytes[at + i]))) return 0;
  }
  return length;
}

void AppendHex(std::string& out, unsigned char byte) {
  constexpr std::string_view kDigits = "0123456789abcdef";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

}  // namespace

std::string MakeControlsVisible(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte < 0x20 || byte == 0x7F) {
      const bool line_end = byte == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
      if (byte == '\n' || byte == '\t' || line_end) {
        out += static_cast<char>(byte);
      } else {
        out += '^';
        out += static_cast<char>(byte ^ 0x40);
      }
      ++i;
      continue;
    }
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const std::size_t length = Utf8Length(bytes, i);
    if (length == 2 && byte == 0xC2 && static_cast<unsigned char>(bytes[i + 1]) < 0xA0) {
      AppendHex(out, static_cast<unsigned char>(bytes[i + 1]));  // U+0080..U+009F
    } else if (length > 0) {
      out.append(bytes.substr(i, length));
    } else if (byte < 0xA0) {
      AppendHex(out, byte);  // a lone C1 byte, which an 8-bit terminal would act on
    } else {
      out += static_cast<char>(byte);
    }
    i += length > 0 ? length : 1;
  }
  return out;
}

}  // namespace tavi

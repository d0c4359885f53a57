#include "core/journal/json_text.h"

#include <charconv>
#include <cstdio>

namespace tavi::json_text {
namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t n = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    code = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    code = (code << 6) | (byte(i) & 0x3Fu);
  }
  if ((n == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
      (n == 4 && (code < 0x10000 || code > 0x10FFFF))) {
    return 0;
  }
  return n;
}

void AppendUtf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  std::optional<Object> WholeObject() {
    std::optional<Object> object = ReadObject(/*flat=*/false);
    SkipSpace();
    if (!object || at_ != text_.size()) return std::nullopt;
    return object;
  }

 private:
  void SkipSpace() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\r' || text_[at_] == '\n')) {
      ++at_;
    }
  }
  bool Take(char c) {
    SkipSpace();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Peek(char c) {
    SkipSpace();
    return at_ < text_.size() && text_[at_] == c;
  }

  std::optional<std::uint32_t> Hex4() {
    if (text_.size() - at_ < 4) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, value, 16);
    if (ec != std::errc() || end != text_.data() + at_ + 4) return std::nullopt;
    at_ += 4;
    return value;
  }

  std::optional<std::string> ReadString() {
    if (!Take('"')) return std::nullopt;
    std::string out;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return out;
      if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char e = text_[at_++];
      switch (e) {
        case '"':
        case '\\':
        case '/':
          out += e;
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          std::optional<std::uint32_t> code = Hex4();
          if (!code) return std::nullopt;
          if (*code >= 0xD800 && *code <= 0xDBFF) {
            if (text_.substr(at_, 2) != "\\u") return std::nullopt;
            at_ += 2;
            const std::optional<std::uint32_t> low = Hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return std::nullopt;
            *code = 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00);
          } else if (*code >= 0xDC00 && *code <= 0xDFFF) {
            return std::nullopt;
          }
          AppendUtf8(out, *code);
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

  std::optional<Value> ReadValue(bool flat) {
    SkipSpace();
    Value value;
    if (at_ >= text_.size()) return std::nullopt;
    const char c = text_[at_];
    if (c == '"') {
      std::optional<std::string> text = ReadString();
      if (!text) return std::nullopt;
      value.kind = Value::Kind::kString;
      value.text = std::move(*text);
      return value;
    }
    if (text_.substr(at_, 4) == "null") {
      at_ += 4;
      return value;
    }
    if (c == '-' || (c >= '0' && c <= '9')) {
      const auto [end, ec] =
          std::from_chars(text_.data() + at_, text_.data() + text_.size(), value.integer);
      if (ec != std::errc()) return std::nullopt;
      at_ = static_cast<std::size_t>(end - text_.data());
      value.kind = Value::Kind::kInteger;
      return value;
    }
    if (c == '[' && !flat) {
      ++at_;
      value.kind = Value::Kind::kArray;
      if (Take(']')) return value;
      do {
        std::optional<Object> item = ReadObject(/*flat=*/true);
        if (!item) return std::nullopt;
        value.items.push_back(std::move(*item));
      } while (Take(','));
      if (!Take(']')) return std::nullopt;
      return value;
    }
    return std::nullopt;
  }

  std::optional<Object> ReadObject(bool flat) {
    if (!Take('{')) return std::nullopt;
    Object object;
    if (Take('}')) return object;
    do {
      std::optional<std::string> key = ReadString();
      if (!key || !Take(':')) return std::nullopt;
      std::optional<Value> value = ReadValue(flat);
      if (!value) return std::nullopt;
      object.insert_or_assign(std::move(*key), std::move(*value));
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return object;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

std::string Quote(std::string_view text) {
  std::string out = "\"";
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t n = Utf8Length(text.substr(i));
      if (n == 0) {
        out += "\xEF\xBF\xBD";
        ++i;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
      continue;
    }
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  out += '"';
  return out;
}

std::optional<Object> ParseObject(std::string_view line) {
  return Reader(line).WholeObject();
}

}  // namespace tavi::json_text

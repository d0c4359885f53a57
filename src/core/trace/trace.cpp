#include "core/trace/trace.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>

#include "core/resources/constants.h"

namespace tavi {
namespace {

// The shortest piece of an access code that counts as showing it.
constexpr std::size_t kCodePieceLength = 8;

constexpr std::string_view kNameA = "<access code A>";
constexpr std::string_view kNameB = "<access code B>";

std::string_view AsText(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// True when `window` holds kCodePieceLength consecutive characters of either code.
bool HoldsCodePiece(std::string_view window) {
  if (window.size() < kCodePieceLength) return false;
  for (std::string_view code : {AccessCodeA(), AccessCodeB()}) {
    for (std::size_t i = 0; i + kCodePieceLength <= window.size(); ++i) {
      if (code.find(window.substr(i, kCodePieceLength)) != std::string_view::npos) return true;
    }
  }
  return false;
}

// The shown bytes as hex and, when they are all printable, as quoted text.
std::string ShowBytes(std::span<const std::byte> bytes) {
  const std::span<const std::byte> shown = bytes.first(std::min(bytes.size(), kTraceShownBytes));
  if (HoldsCodePiece(AsText(shown))) return " (not shown: they hold a piece of an access code)";
  std::string text = ": " + HexBytes(bytes, kTraceShownBytes);
  const std::string_view chars = AsText(shown);
  if (!chars.empty() &&
      std::all_of(chars.begin(), chars.end(), [](char c) { return c >= 0x20 && c < 0x7f; })) {
    text += " \"";
    text += chars;
    text += shown.size() < bytes.size() ? "\"..." : "\"";
  }
  return text;
}

}  // namespace

Trace::Trace(TraceSink& sink, Clock& clock)
    : sink_(&sink), clock_(&clock), start_ms_(clock.NowMs()) {}

void Trace::Event(std::string_view topic, std::string_view text) const {
  if (sink_ != nullptr) Write(topic, text, false);
}

void Trace::Outcome(std::string_view text) const {
  if (sink_ != nullptr) Write("end", text, true);
}

void Trace::Write(std::string_view topic, std::string_view text, bool keep) const {
  std::array<char, 32> stamp{};
  const int n =
      std::snprintf(stamp.data(), stamp.size(), "%7lld ms %-5.*s ",
                    static_cast<long long>(clock_->NowMs() - start_ms_),
                    static_cast<int>(std::min<std::size_t>(topic.size(), 5)), topic.data());
  std::string line(stamp.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
  line += text;
  sink_->WriteLine(line, keep);
}

std::string HexBytes(std::span<const std::byte> bytes, std::size_t max_bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::size_t n = std::min(bytes.size(), max_bytes);
  std::string text;
  text.reserve(n * 3 + 4);
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) text += ' ';
    const auto b = static_cast<unsigned>(bytes[i]);
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
  }
  if (n < bytes.size()) text += " ...";
  return text;
}

std::string DescribePayload(std::span<const std::byte> bytes, Payload kind) {
  std::string text = std::to_string(bytes.size()) + " bytes";
  switch (kind) {
    case Payload::kParameterImage:
      if (bytes.empty()) return text + " of parameter image";
      {
        std::array<char, 8> check{};
        std::snprintf(check.data(), check.size(), "0x%02x", static_cast<unsigned>(bytes.back()));
        return text + " of parameter image, check byte " + check.data();
      }
    case Payload::kFirmware:
      return text + " of firmware image";
    case Payload::kBytes:
      break;
  }
  const std::string_view chars = AsText(bytes);
  for (std::int32_t family : {1, 2}) {
    const std::string_view line = AccessCodeLine(family);
    if (!chars.starts_with(line)) continue;
    text += ": ";
    text += kAccessCodePrefix;
    text += family == 1 ? kNameA : kNameB;
    if (bytes.size() > line.size()) {
      const auto rest = bytes.subspan(line.size());
      text += ", then " + std::to_string(rest.size()) + " bytes" + ShowBytes(rest);
    }
    return text;
  }
  if (bytes.empty()) return text;
  return text + ShowBytes(bytes);
}

std::string WithoutAccessCodes(std::string_view text) {
  std::string out(text);
  for (auto [code, name] : {std::pair{AccessCodeA(), kNameA}, std::pair{AccessCodeB(), kNameB}}) {
    for (std::size_t at = out.find(code); at != std::string::npos; at = out.find(code, at)) {
      out.replace(at, code.size(), name);
      at += name.size();
    }
  }
  return out;
}

std::string PrintableText(std::string_view text) {
  static constexpr char kDigits[] = "0123456789abcdef";
  const std::string named = WithoutAccessCodes(text);
  std::string out;
  out.reserve(named.size());
  for (char c : named) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7f && c != '\\') {
      out += c;
    } else {
      out += "\\x";
      out += kDigits[b >> 4];
      out += kDigits[b & 0xF];
    }
  }
  return out;
}

void TracedClock::Sleep(int ms) {
  if (trace_.on() && ms > 0) trace_.Event("wait", std::to_string(ms) + " ms");
  base_.Sleep(ms);
}

}  // namespace tavi

#include "frontends/printer_sim/event_log.h"

#include <algorithm>
#include <cstdio>

namespace tavi::sim {
namespace {

void AppendJsonString(std::string& out, std::string_view text) {
  out.push_back('"');
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20 || u >= 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
}

}  // namespace

std::string Event::Field(std::string_view key) const {
  for (const auto& f : fields) {
    if (f.key == key) return f.value;
  }
  return {};
}

std::string Event::Text() const {
  std::string out = kind;
  for (const auto& f : fields) {
    out += ' ';
    out += f.key;
    out += '=';
    const bool quote = f.value.empty() || f.value.find_first_of(" \"=") != std::string::npos;
    if (quote) out += '"';
    out += f.value;
    if (quote) out += '"';
  }
  return out;
}

std::string Event::Json() const {
  std::string out = "{\"time_ms\":" + std::to_string(time_ms) + ",\"event\":";
  AppendJsonString(out, kind);
  for (const auto& f : fields) {
    out += ',';
    AppendJsonString(out, f.key);
    out += ':';
    if (f.numeric) {
      out += f.value;
    } else {
      AppendJsonString(out, f.value);
    }
  }
  out += '}';
  return out;
}

void EventLog::SetSink(Sink sink) {
  std::lock_guard lock(mutex_);
  sink_ = std::move(sink);
}

void EventLog::SetTimeSource(std::function<std::int64_t()> now) {
  std::lock_guard lock(mutex_);
  now_ = std::move(now);
}

void EventLog::Deliver(Event event) {
  if (sink_) sink_(event);
  if (events_.size() < kMaxKept) events_.push_back(std::move(event));
}

void EventLog::Summarise(std::int64_t now, bool all) {
  for (auto& [kind, w] : windows_) {
    if (w.suppressed == 0 || (!all && now - w.start_ms < kWindowMs)) continue;
    Event summary;
    summary.time_ms = now;
    summary.kind = "events-suppressed";
    summary.fields = {{"kind", kind, false},
                      {"count", std::to_string(w.suppressed), true},
                      {"window_ms", std::to_string(now - w.start_ms), true}};
    w = Window{now, 0, 0};
    --kinds_suppressing_;
    Deliver(std::move(summary));
  }
}

void EventLog::Add(Event event) {
  std::lock_guard lock(mutex_);
  if (now_) event.time_ms = now_();
  const std::int64_t now = event.time_ms;
  if (kinds_suppressing_ > 0) Summarise(now, false);
  auto it = windows_.find(event.kind);
  if (it == windows_.end()) it = windows_.emplace(event.kind, Window{now, 0, 0}).first;
  Window& w = it->second;
  if (now - w.start_ms >= kWindowMs) w = Window{now, 0, 0};
  if (w.logged >= kPerKindInWindow) {
    if (w.suppressed++ == 0) ++kinds_suppressing_;
    return;
  }
  ++w.logged;
  Deliver(std::move(event));
}

void EventLog::Flush() {
  std::lock_guard lock(mutex_);
  if (kinds_suppressing_ > 0) Summarise(now_ ? now_() : 0, true);
}

std::vector<Event> EventLog::Events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

std::vector<Event> EventLog::OfKind(std::string_view kind) const {
  std::lock_guard lock(mutex_);
  std::vector<Event> out;
  for (const auto& e : events_) {
    if (e.kind == kind) out.push_back(e);
  }
  return out;
}

std::size_t EventLog::Count(std::string_view kind) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(),
                                                [&](const Event& e) { return e.kind == kind; }));
}

std::string Printable(std::string_view bytes, std::size_t limit) {
  std::string out;
  const std::size_t n = std::min(bytes.size(), limit);
  for (std::size_t i = 0; i < n; ++i) {
    const auto u = static_cast<unsigned char>(bytes[i]);
    if (u >= 0x20 && u < 0x7f && u != '\\') {
      out.push_back(bytes[i]);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", u);
      out += buf;
    }
  }
  if (bytes.size() > limit) out += "...";
  return out;
}

}  // namespace tavi::sim

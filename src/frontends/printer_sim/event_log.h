// The virtual printer's event log: one entry per thing that happened (job started, data file,
// command, console line, chunk published, restart, firmware received), readable as a text line
// or as one JSON object.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace tavi::sim {

struct EventField {
  std::string key;
  std::string value;
  bool numeric = false;  // written without quotes in JSON
};

struct Event {
  std::int64_t time_ms = 0;
  std::string kind;  // e.g. "job-started", "data-file", "command", "console", "chunk"
  std::vector<EventField> fields;

  // The value of field `key`, or "" when there is none.
  std::string Field(std::string_view key) const;
  // "<kind> key=value key=\"text with spaces\" ..."
  std::string Text() const;
  // {"time_ms":..,"event":"<kind>","key":value,...}
  std::string Json() const;
};

// Builds one event: Ev("command").Str("text", "GET REPORT").Num("bytes", 10).
struct Ev {
  explicit Ev(std::string kind) { event.kind = std::move(kind); }
  Ev& Str(std::string key, std::string value) {
    event.fields.push_back({std::move(key), std::move(value), false});
    return *this;
  }
  Ev& Num(std::string key, std::int64_t value) {
    event.fields.push_back({std::move(key), std::to_string(value), true});
    return *this;
  }
  Event event;
};

// Thread-safe; keeps the events (bounded) and hands each one to the sink as it comes. Repeated
// events are summarised: of one kind, at most kPerKindInWindow are logged within a window of
// kWindowMs; the rest are counted and reported in one "events-suppressed" event (kind, count)
// when the window has passed or at Flush.
class EventLog {
 public:
  using Sink = std::function<void(const Event&)>;
  static constexpr std::size_t kMaxKept = 20000;
  static constexpr std::int64_t kWindowMs = 10000;
  static constexpr std::size_t kPerKindInWindow = 500;

  void SetSink(Sink sink);
  // Stamps each added event with this time (milliseconds).
  void SetTimeSource(std::function<std::int64_t()> now);
  void Add(Event event);
  // Reports what is still being suppressed now.
  void Flush();
  std::vector<Event> Events() const;
  // Events of one kind, in order.
  std::vector<Event> OfKind(std::string_view kind) const;
  std::size_t Count(std::string_view kind) const;

 private:
  struct Window {
    std::int64_t start_ms = 0;
    std::size_t logged = 0;
    std::size_t suppressed = 0;
  };
  void Deliver(Event event);
  // Summarises every kind whose window has passed at `now` (all of them when `all`).
  void Summarise(std::int64_t now, bool all);

  mutable std::mutex mutex_;
  std::vector<Event> events_;
  std::map<std::string, Window, std::less<>> windows_;
  std::size_t kinds_suppressing_ = 0;
  Sink sink_;
  std::function<std::int64_t()> now_;
};

// A printable excerpt of bytes from outside (control characters as \xNN), at most `limit` bytes.
std::string Printable(std::string_view bytes, std::size_t limit = 64);

}  // namespace tavi::sim

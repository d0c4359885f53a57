// The sinks of a trace: a file that never grows past its limit, a memory that keeps the start
// and the end of one operation within a fixed bound, a stream (stderr for -v), and a pair.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/trace/trace.h"
#include "core/ui/seams.h"

namespace tavi {

// The default limit of a trace file.
inline constexpr std::size_t kTraceFileLimit = 16u * 1024 * 1024;
// What the desktop program keeps of the last operation's trace.
inline constexpr std::size_t kTraceMemoryLimit = 1024u * 1024;
// The room a bounded sink keeps for the lines that must survive a full sink.
inline constexpr std::size_t kTraceKeepReserve = 4096;

// The note a bounded sink writes where it left lines out.
std::string LeftOutNote(std::size_t lines, std::size_t bytes, std::size_t limit);

// Lines to a file opened for writing, the file never longer than `limit` bytes: once the lines
// would pass limit - kTraceKeepReserve, further lines are left out (and counted) except the
// lines to keep, which are written after a note of what was left out while they fit the limit.
class TraceFile final : public TraceSink {
 public:
  // Creates or empties `path` by the rules of OpenLineFile: never through another user's link
  // planted in a shared sticky folder, and never when it is one of `inputs` (the command's own
  // files), which are left untouched. On failure returns null and fills `error`.
  static std::unique_ptr<TraceFile> Create(const std::string& path, std::size_t limit,
                                           FileError& error,
                                           std::span<const std::string> inputs = {});
  ~TraceFile() override;
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  void WriteLine(std::string_view line, bool keep) override;
  std::size_t written() const { return written_; }

 private:
  TraceFile(std::FILE* file, std::size_t limit) : file_(file), limit_(limit) {}
  bool Put(std::string_view line);

  std::FILE* file_;
  std::size_t limit_;
  std::size_t written_ = 0;
  std::size_t left_out_lines_ = 0;
  std::size_t left_out_bytes_ = 0;
};

// The lines of one operation in memory, at most about `limit` bytes: the first half of the
// bound keeps the start, the rest keeps the latest lines, and a note between says what was
// left out. Clear() starts the next operation.
class TraceMemory final : public TraceSink {
 public:
  explicit TraceMemory(std::size_t limit = kTraceMemoryLimit) : limit_(limit) {}
  void WriteLine(std::string_view line, bool keep) override;
  void Clear();
  bool empty() const { return head_.empty(); }
  // The whole trace, one line each, every line ending in "\n".
  std::string Text() const;
  // What Text() holds at most: the bound plus one note.
  std::size_t limit() const { return limit_; }

 private:
  std::size_t limit_;
  std::string head_;
  std::deque<std::string> tail_;
  std::size_t tail_bytes_ = 0;
  std::size_t left_out_lines_ = 0;
  std::size_t left_out_bytes_ = 0;
};

// Lines to a stream as they come (stderr for tavi-cli -v); nothing is left out.
class TraceStream final : public TraceSink {
 public:
  explicit TraceStream(std::FILE* stream) : stream_(stream) {}
  void WriteLine(std::string_view line, bool keep) override;

 private:
  std::FILE* stream_;
};

// Every line to both sinks (either may be null).
class TraceTee final : public TraceSink {
 public:
  TraceTee(TraceSink* first, TraceSink* second) : first_(first), second_(second) {}
  void WriteLine(std::string_view line, bool keep) override;

 private:
  TraceSink* first_;
  TraceSink* second_;
};

}  // namespace tavi

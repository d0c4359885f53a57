#include "core/trace/trace_sinks.h"

#include <cerrno>
#include <cstring>

#include "os/file_io.h"

namespace tavi {

std::string LeftOutNote(std::size_t lines, std::size_t bytes, std::size_t limit) {
  return "... " + std::to_string(lines) + " lines (" + std::to_string(bytes) +
         " bytes) left out: the trace is limited to " + std::to_string(limit) + " bytes ...";
}

std::unique_ptr<TraceFile> TraceFile::Create(const std::string& path, std::size_t limit,
                                             FileError& error) {
  errno = 0;
  std::FILE* file = OpenFileForWriting(path);
  if (file == nullptr) {
    const int saved = errno;
    error = {FileError::Op::kCreate, path, SystemCode::Errno(saved), std::strerror(saved)};
    return nullptr;
  }
  return std::unique_ptr<TraceFile>(new TraceFile(file, limit));
}

TraceFile::~TraceFile() {
  std::fclose(file_);
}

bool TraceFile::Put(std::string_view line) {
  if (written_ + line.size() + 1 > limit_) return false;
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);  // a trace must be complete up to the moment a run is killed
  written_ += line.size() + 1;
  return true;
}

void TraceFile::WriteLine(std::string_view line, bool keep) {
  const std::size_t room = limit_ > kTraceKeepReserve ? limit_ - kTraceKeepReserve : 0;
  if (left_out_lines_ == 0 && written_ + line.size() + 1 <= room) {
    Put(line);
    return;
  }
  if (!keep) {
    ++left_out_lines_;
    left_out_bytes_ += line.size() + 1;
    return;
  }
  if (left_out_lines_ > 0) {
    Put(LeftOutNote(left_out_lines_, left_out_bytes_, limit_));
    left_out_lines_ = 0;
    left_out_bytes_ = 0;
  }
  Put(line);
}

void TraceMemory::WriteLine(std::string_view line, bool) {
  const std::size_t size = line.size() + 1;
  if (tail_.empty() && left_out_lines_ == 0 && head_.size() + size <= limit_ / 2) {
    head_.append(line);
    head_ += '\n';
    return;
  }
  tail_.emplace_back(line);
  tail_.back() += '\n';
  tail_bytes_ += size;
  while (tail_bytes_ > limit_ - limit_ / 2 && !tail_.empty()) {
    tail_bytes_ -= tail_.front().size();
    left_out_bytes_ += tail_.front().size();
    ++left_out_lines_;
    tail_.pop_front();
  }
}

void TraceMemory::Clear() {
  head_.clear();
  tail_.clear();
  tail_bytes_ = 0;
  left_out_lines_ = 0;
  left_out_bytes_ = 0;
}

std::string TraceMemory::Text() const {
  std::string text = head_;
  if (left_out_lines_ > 0) text += LeftOutNote(left_out_lines_, left_out_bytes_, limit_) + "\n";
  for (const std::string& line : tail_) text += line;
  return text;
}

void TraceStream::WriteLine(std::string_view line, bool) {
  std::fwrite(line.data(), 1, line.size(), stream_);
  std::fputc('\n', stream_);
  std::fflush(stream_);
}

void TraceTee::WriteLine(std::string_view line, bool keep) {
  if (first_ != nullptr) first_->WriteLine(line, keep);
  if (second_ != nullptr) second_->WriteLine(line, keep);
}

}  // namespace tavi

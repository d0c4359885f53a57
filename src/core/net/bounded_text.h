// A text of fixed capacity that grows by appending pieces and never overflows.
//
// The capacity counts the terminating zero, so a text holds at most capacity - 1 characters.
// Each append writes as much of its piece as still fits; the rest of the piece, and every later
// piece once the text is full, is dropped. The text never holds a zero character: a piece
// contributes only the characters before its first zero (a "%c" of 0 adds nothing).
// The storage is taken once, at construction; appending never allocates.
//
// Used for the SNMP client's trace (4096), last-error (256) and value (514) texts and for the
// LPD client's last-error text (256).
#pragma once

#include <algorithm>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tavi {

class BoundedText {
 public:
  // `capacity` includes the terminating zero; 0 and 1 both give a text that stays empty.
  explicit BoundedText(std::size_t capacity)
      : capacity_(capacity), data_(std::make_unique<char[]>(std::max<std::size_t>(capacity, 1))) {
    data_[0] = '\0';
  }

  BoundedText(const BoundedText& other) : BoundedText(other.capacity_) { Append(other.view()); }
  BoundedText& operator=(const BoundedText& other) {
    if (this != &other) {
      BoundedText copy(other);
      swap(copy);
    }
    return *this;
  }
  // No move operations: a moved-from text would lose its storage, so moving copies.

  void swap(BoundedText& other) noexcept {
    std::swap(capacity_, other.capacity_);
    std::swap(length_, other.length_);
    std::swap(data_, other.data_);
  }

  // Appends `piece` up to its first zero character, cut at the capacity.
  void Append(std::string_view piece) {
    const std::size_t room = Room();
    if (room == 0) return;
    const std::size_t zero = piece.find('\0');
    if (zero != std::string_view::npos) piece = piece.substr(0, zero);
    const std::size_t n = std::min(piece.size(), room);
    std::memcpy(data_.get() + length_, piece.data(), n);
    length_ += n;
    data_[length_] = '\0';
  }

  // Appends one printf-style formatted piece, cut at the capacity.
  [[gnu::format(printf, 2, 3)]] void AppendF(const char* format, ...) {
    va_list args;
    va_start(args, format);
    AppendV(format, args);
    va_end(args);
  }

  void AppendV(const char* format, va_list args) {
    const std::size_t room = Room();
    if (room == 0) return;
    // vsnprintf writes at most room characters plus the zero; the length is then the string
    // length, which also drops whatever followed a formatted zero character.
    std::vsnprintf(data_.get() + length_, room + 1, format, args);
    length_ += std::strlen(data_.get() + length_);
  }

  // Copies at most out.size() - 1 characters and a terminating zero into `out`; returns the
  // count copied + 1, or 0 when `out` is empty.
  std::size_t CopyTo(std::span<char> out) const {
    if (out.empty()) return 0;
    const std::size_t n = std::min(length_, out.size() - 1);
    std::memcpy(out.data(), data_.get(), n);
    out[n] = '\0';
    return n + 1;
  }

  void Clear() {
    length_ = 0;
    data_[0] = '\0';
  }

  std::string_view view() const { return {data_.get(), length_}; }
  std::string str() const { return std::string(view()); }
  const char* c_str() const { return data_.get(); }
  std::size_t size() const { return length_; }
  std::size_t capacity() const { return capacity_; }
  bool full() const { return Room() == 0; }

 private:
  // Characters that may still be appended.
  std::size_t Room() const { return capacity_ > length_ + 1 ? capacity_ - length_ - 1 : 0; }

  std::size_t capacity_;
  std::size_t length_ = 0;
  std::unique_ptr<char[]> data_;
};

}  // namespace tavi

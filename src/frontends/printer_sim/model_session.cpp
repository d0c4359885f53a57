// The stream parser of one job or open: access-code line, command text, then the command's
// payload (parameter image, console frame or firmware image).
#include <array>
#include <cctype>
#include <charconv>

#include "core/protocol/check_byte.h"
#include "core/protocol/console_frame.h"
#include "core/resources/constants.h"
#include "frontends/printer_sim/builtin_content.h"
#include "frontends/printer_sim/printer_model.h"

namespace tavi::sim {
namespace {

constexpr std::array<std::string_view, 5> kCommands = {kCmdGetReport, kCmdGetParam, kCmdPutParam,
                                                       kCmdPutAllParam, kCmdPipeMonitor};
constexpr std::string_view kConsoleBootLine = "BOOT_UpdateMain 0";
constexpr std::size_t kMaxHeadRankLength = 64;
constexpr std::size_t kMaxImageBytes = 1u << 20;

bool IsPrefixOfCommand(std::string_view text) {
  for (auto c : kCommands) {
    if (c.starts_with(text)) return true;
  }
  return false;
}

std::uint8_t SumCheck(std::string_view bytes) {
  return CheckByte(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
}

// True when `bytes` are the start of an access-code line, which a log line must not show.
bool IsAccessCodeStart(std::string_view bytes) {
  return kAccessCodePrefix.starts_with(bytes.substr(0, kAccessCodePrefix.size()));
}

}  // namespace

ModelSession::ModelSession(PrinterModel& model, int id, std::string origin, bool continues_update)
    : model_(model), id_(id), origin_(std::move(origin)), continues_update_(continues_update) {
  if (continues_update_) state_ = State::kFirmware;
}

ModelSession::~ModelSession() {
  if (state_ == State::kImage) {
    // The image has no length of its own: the end of the open ends it.
    FinishImage(image_.size());
  } else if (state_ == State::kFirmware) {
    // A session that only switched to update mode and got no image leaves the printer waiting
    // for the image in the next open (the device is reopened after the restart).
    if (firmware_bytes_ > 0 || continues_update_) FinishFirmware();
  } else if (!buf_.empty()) {
    model_.Log(Ev("incomplete")
                   .Num("session", id_)
                   .Num("bytes", static_cast<std::int64_t>(buf_.size()))
                   .Str("data", state_ == State::kLine && IsAccessCodeStart(buf_)
                                    ? std::string("(part of an access-code line)")
                                    : Printable(buf_, 24)));
  }
  model_.Log(
      Ev("session-ended").Num("session", id_).Num("writes", static_cast<std::int64_t>(writes_)));
}

void ModelSession::Write(std::string_view bytes) {
  model_.RecordWrite(id_, origin_, bytes);
  ++writes_;
  if (state_ == State::kFirmware && continues_update_ && firmware_bytes_ == 0 && !bytes.empty() &&
      IsAccessCodeStart(bytes)) {
    // The image never came: this open carries commands again.
    FinishFirmware();
    state_ = State::kLine;
  }
  std::size_t pos = 0;
  while (pos < bytes.size()) Step(bytes, pos);
  if (state_ == State::kDiscard) state_ = State::kLine;
}

void ModelSession::Write(std::span<const std::byte> bytes) {
  Write(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void ModelSession::Step(std::string_view data, std::size_t& pos) {
  switch (state_) {
    case State::kImage:
      ImageBytes(data, pos);
      return;
    case State::kFirmware: {
      const std::string_view part = data.substr(pos);
      firmware_hash_.Update(std::as_bytes(std::span(part.data(), part.size())));
      firmware_bytes_ += static_cast<std::int64_t>(part.size());
      pos = data.size();
      return;
    }
    case State::kDiscard:
      pos = data.size();
      return;
    case State::kFrame:
      FrameBytes(data, pos);
      return;
    case State::kLine:
      LineByte(data[pos]);
      ++pos;
      return;
    case State::kCommand:
      CommandByte(data[pos]);
      ++pos;
      return;
  }
}

void ModelSession::LineByte(char c) {
  if (buf_.empty() && c == '\0') {
    model_.ClosingZero(id_);
    return;
  }
  buf_.push_back(c);
  if (buf_.size() <= kAccessCodePrefix.size() && !kAccessCodePrefix.starts_with(buf_)) {
    // Not an access-code line: what came is the start of a command without one.
    refusal_ = "no access-code line";
    authorized_ = false;
    std::string start = std::move(buf_);
    buf_.clear();
    state_ = State::kCommand;
    for (char b : start) {
      if (state_ != State::kCommand) break;
      CommandByte(b);
    }
    return;
  }
  if (buf_.size() < kAccessCodeLineLength) return;
  if (buf_ == model_.AccessLine()) {
    authorized_ = true;
    refusal_.clear();
  } else if (buf_ == model_.OtherAccessLine()) {
    authorized_ = false;
    refusal_ = "access-code line of the other family";
    model_.Log(Ev("access-refused").Num("session", id_).Str("reason", refusal_));
  } else {
    authorized_ = false;
    refusal_ = "bad access-code line";
    model_.Log(Ev("access-refused").Num("session", id_).Str("reason", refusal_));
  }
  buf_.clear();
  state_ = State::kCommand;
}

void ModelSession::CommandByte(char c) {
  buf_.push_back(c);
  for (auto command : kCommands) {
    if (buf_ == command) {
      Dispatch(command);
      return;
    }
  }
  if (!IsPrefixOfCommand(buf_)) {
    model_.Log(Ev("unknown-command").Num("session", id_).Str("data", Printable(buf_)));
    buf_.clear();
    authorized_ = false;
    state_ = State::kDiscard;
  }
}

void ModelSession::Dispatch(std::string_view command) {
  command_accepted_ = authorized_;
  authorized_ = false;
  if (command_accepted_) {
    model_.Log(Ev("command").Num("session", id_).Str("text", std::string(command)));
  } else {
    model_.Log(Ev("command-ignored")
                   .Num("session", id_)
                   .Str("text", std::string(command))
                   .Str("reason", refusal_.empty() ? "no access-code line" : refusal_));
  }
  refusal_.clear();
  buf_.clear();
  if (command == kCmdGetReport || command == kCmdGetParam) {
    if (command_accepted_) model_.StartReply(id_, command);
    state_ = State::kLine;
  } else if (command == kCmdPutParam || command == kCmdPutAllParam) {
    buf_ = std::string(command);
    state_ = State::kImage;
  } else {
    state_ = State::kFrame;
  }
}

void ModelSession::ImageBytes(std::string_view data, std::size_t& pos) {
  // The image carries no length: it runs, whatever the pieces it comes in, up to the access-code
  // line of the next command or to the end of the open. Only its unseen tail is searched.
  const std::size_t seen = image_.size();
  image_.append(data.substr(pos));
  pos = data.size();
  const std::size_t from =
      seen >= kAccessCodePrefix.size() ? seen - kAccessCodePrefix.size() + 1 : 0;
  const std::size_t next = image_.find(kAccessCodePrefix, from);
  if (next == std::string::npos) {
    if (image_.size() > kMaxImageBytes) {
      // No printer's block is this large: what follows is dropped, but the search goes on over
      // the last bytes kept, so that the next command still finds its line.
      image_overflow_ = true;
      image_.erase(0, image_.size() - kAccessCodePrefix.size());
    }
    return;
  }
  std::string rest = image_.substr(next);
  FinishImage(next);
  for (std::size_t at = 0; at < rest.size();) Step(rest, at);
}

void ModelSession::FinishImage(std::size_t length) {
  const std::string_view image = std::string_view(image_).substr(0, length);
  if (image_overflow_) {
    model_.Log(Ev("params-rejected").Num("session", id_).Str("reason", "image too large"));
  } else if (command_accepted_) {
    model_.PutParams(id_, buf_, image);
  } else {
    model_.Log(Ev("payload-ignored")
                   .Num("session", id_)
                   .Num("bytes", static_cast<std::int64_t>(image.size())));
  }
  buf_.clear();
  image_.clear();
  image_overflow_ = false;
  state_ = State::kLine;
}

void ModelSession::FrameBytes(std::string_view data, std::size_t& pos) {
  while (pos < data.size()) {
    buf_.push_back(data[pos++]);
    if (buf_.size() < 2) continue;
    const std::size_t length =
        (static_cast<std::size_t>(static_cast<unsigned char>(buf_[0])) << 8) |
        static_cast<unsigned char>(buf_[1]);
    if (length > kMaxConsoleTextLength) {
      model_.Log(Ev("console-rejected")
                     .Num("session", id_)
                     .Str("reason", "frame length too large")
                     .Num("length", static_cast<std::int64_t>(length)));
      buf_.clear();
      state_ = State::kDiscard;
      return;
    }
    if (buf_.size() < length + 3) continue;
    const std::string_view body = std::string_view(buf_).substr(0, length + 2);
    const auto check = static_cast<std::uint8_t>(buf_[length + 2]);
    const std::string text(buf_.substr(2, length));
    buf_.clear();
    state_ = State::kLine;
    if (check != SumCheck(body)) {
      model_.Log(Ev("console-rejected")
                     .Num("session", id_)
                     .Str("reason", "wrong check byte")
                     .Num("got", check)
                     .Num("want", SumCheck(body)));
    } else if (!command_accepted_) {
      model_.Log(Ev("payload-ignored")
                     .Num("session", id_)
                     .Num("bytes", static_cast<std::int64_t>(length + 3)));
    } else {
      ConsoleText(text);
    }
    return;
  }
}

void ModelSession::ConsoleText(std::string_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    ConsoleLine(line);
    if (state_ == State::kFirmware) return;  // the rest is not console text any more
  }
}

void ModelSession::ConsoleLine(std::string_view line) {
  model_.Log(Ev("console").Num("session", id_).Str("line", Printable(line, 128)));
  if (line.starts_with(kConsoleSetHeadRank) && line.size() > kConsoleSetHeadRank.size() &&
      line[kConsoleSetHeadRank.size()] == ' ') {
    std::string_view rest = line.substr(kConsoleSetHeadRank.size() + 1);
    int head = -1;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), head);
    rest = rest.substr(static_cast<std::size_t>(end - rest.data()));
    const bool quoted = rest.size() >= 3 && rest[0] == ' ' && rest[1] == '"' && rest.back() == '"';
    if (ec != std::errc() || !quoted || head < 0 || head >= kHeadCount ||
        rest.size() - 3 > kMaxHeadRankLength) {
      model_.Log(Ev("head-rank-rejected").Num("session", id_).Str("line", Printable(line, 128)));
      return;
    }
    model_.SetHeadRank(head, std::string(rest.substr(2, rest.size() - 3)));
  } else if (line == kConsoleBootLine) {
    model_.EnterUpdateMode(id_);
    state_ = State::kFirmware;
    firmware_bytes_ = 0;
    firmware_hash_.Reset();
  }
}

void ModelSession::FinishFirmware() {
  model_.FirmwareReceived(id_, firmware_bytes_, firmware_hash_.FinishHex());
  firmware_hash_.Reset();
  firmware_bytes_ = 0;
  continues_update_ = false;
}

}  // namespace tavi::sim

// The virtual printer itself: it takes the byte stream of each job or open and answers reply
// reads with one reply text each. Thread-safe: servers and device channels share one model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/journal/sha256.h"
#include "frontends/printer_sim/event_log.h"
#include "frontends/printer_sim/sim_options.h"

namespace tavi {
class Clock;
}

namespace tavi::sim {

class PrinterModel;

inline constexpr std::size_t kMaxKeptWrites = 4096;
inline constexpr std::size_t kMaxKeptWriteBytes = 16u << 20;

// The reply text shown while no answer is being published.
inline constexpr std::string_view kIdleReply = "STATUS=IDLE;";

struct ReceivedWrite {
  int session = 0;
  std::string origin;
  std::string bytes;
};

// One job (LPD) or one open (device): parses the writes as one stream. Ending the session (its
// destruction) ends the job or open.
class ModelSession {
 public:
  ~ModelSession();
  ModelSession(const ModelSession&) = delete;
  ModelSession& operator=(const ModelSession&) = delete;

  void Write(std::span<const std::byte> bytes);
  void Write(std::string_view bytes);
  int id() const { return id_; }

 private:
  friend class PrinterModel;
  enum class State { kLine, kCommand, kImage, kFrame, kFirmware, kDiscard };

  ModelSession(PrinterModel& model, int id, std::string origin, bool continues_update);
  // Consumes bytes from `data` at `pos` according to the state; advances `pos`.
  void Step(std::string_view data, std::size_t& pos);
  void LineByte(char c);
  void CommandByte(char c);
  void FrameBytes(std::string_view data, std::size_t& pos);
  void ImageBytes(std::string_view data, std::size_t& pos);
  // Hands the first `length` bytes of the image to the model and goes back to lines.
  void FinishImage(std::size_t length);
  void Dispatch(std::string_view command);
  void ConsoleText(std::string_view text);
  void ConsoleLine(std::string_view line);
  void FinishFirmware();

  PrinterModel& model_;
  int id_;
  std::string origin_;
  State state_ = State::kLine;
  std::string buf_;
  std::string image_;  // the parameter image so far
  bool image_overflow_ = false;
  bool authorized_ = false;
  std::string refusal_;  // why the next command is not accepted
  bool command_accepted_ = false;
  bool continues_update_ = false;
  std::size_t writes_ = 0;
  std::int64_t firmware_bytes_ = 0;
  Sha256 firmware_hash_;
};

class PrinterModel {
 public:
  PrinterModel(SimOptions options, Clock& clock);
  ~PrinterModel();
  PrinterModel(const PrinterModel&) = delete;
  PrinterModel& operator=(const PrinterModel&) = delete;

  // Starts a job or open; `origin` names it in the log ("lpd 127.0.0.1:40000", "usb").
  std::unique_ptr<ModelSession> OpenSession(std::string origin);

  // One reply read: the current reply text. False while the printer is away (restarting).
  bool ReadReply(std::string& out);

  // The restart asked for over SNMP: the printer is away for the configured time.
  void Restart();
  bool IsAway();

  SimOptions Options() const;
  void SetOptions(SimOptions options);
  EventLog& log() { return log_; }
  Clock& clock() { return clock_; }

  // For assertions: the latest writes, at most kMaxKeptWrites of them and kMaxKeptWriteBytes of
  // their bytes (the oldest go first).
  std::vector<ReceivedWrite> Writes() const;
  std::string Params() const;
  std::map<int, std::string> HeadRanks() const;
  std::int64_t FirmwareSize() const;  // -1 until an image was received
  std::string FirmwareSha256() const;
  int ClosingZeros() const;
  int Restarts() const;
  // The report text that GET REPORT would publish now.
  std::string ReportText() const;
  // How often the answer to `session`'s command was asked for, or nullopt when no answer of
  // that session is being published: a job whose answer is being polled is not idle.
  std::optional<std::uint64_t> Polls(int session) const;

 private:
  friend class ModelSession;
  struct Publication {
    std::vector<std::string> cycle;
    std::size_t next = 0;
    std::int64_t ready_at_ms = 0;
    std::vector<bool> logged;
    int session = 0;  // whose command it answers
    std::uint64_t reads = 0;
  };

  void Log(Ev ev);
  void RecordWrite(int session, const std::string& origin, std::string_view bytes);
  void StartReply(int session, std::string_view command);
  void ClosingZero(int session);
  void PutParams(int session, std::string_view command, std::string_view image);
  void SetHeadRank(int head, std::string rank);
  void EnterUpdateMode(int session);
  void FirmwareReceived(int session, std::int64_t size, std::string sha256);
  bool UpdatePending();
  std::string ReportTextLocked() const;
  std::string_view AccessLine() const;
  std::string_view OtherAccessLine() const;

  mutable std::mutex mutex_;
  Clock& clock_;
  SimOptions options_;
  EventLog log_;
  std::string params_;
  std::map<int, std::string> head_ranks_;
  std::optional<Publication> publication_;
  std::deque<ReceivedWrite> writes_;
  std::size_t write_bytes_kept_ = 0;
  std::int64_t firmware_size_ = -1;
  std::string firmware_sha256_;
  int closing_zeros_ = 0;
  int restarts_ = 0;
  std::int64_t commands_ = 0;
  std::int64_t away_until_ms_ = 0;
  bool update_pending_ = false;
  int next_session_ = 1;
};

}  // namespace tavi::sim

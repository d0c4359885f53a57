// Bounded device transfers shared by the parallel and USB channels: each attempt blocks at most
// one attempt bound; between attempts the progress dialog is pumped and Cancel is looked at.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "os/device_backends.h"

namespace tavi {

class ProgressDialog;

enum class TransferEnd { kDone, kFailed, kCancelled };

// One attempt to send (part of) `piece`; returns what moved.
using WriteAttempt = std::function<TransferResult(std::span<const std::byte> piece)>;

// Sends all of `bytes` in pieces of at most `max_piece` bytes, continuing after partial
// progress and after attempts that timed out while the device was busy. `error` receives the
// device's words on a failure. `sent` receives the number of bytes that went out.
TransferEnd WriteAll(std::span<const std::byte> bytes, std::size_t max_piece,
                     ProgressDialog& progress, const WriteAttempt& attempt, std::size_t& sent,
                     std::string& error);

// One attempt to read into the buffer it was given.
using ReadAttempt = std::function<TransferResult()>;

// Repeats `attempt` while it times out. On kDone, `count` is the number of bytes read.
TransferEnd ReadOnce(ProgressDialog& progress, const ReadAttempt& attempt, std::size_t& count,
                     std::string& error);

// The technician's fix when a device exists but may not be opened: " Add your user to group
// lp ...". Starts with a space so it can follow a sentence.
std::string PermissionFix();

// One device transfer attempt for the trace: "bulk write 4096 bytes: 4096 moved",
// "... timed out after 1000 ms with 0 moved", "... failed: <reason>".
std::string DescribeAttempt(std::string_view what, std::size_t offered,
                            const TransferResult& result);

// A device ID as received, for the trace: its length and its text (access codes never shown).
std::string DescribeDeviceId(std::span<const std::byte> received);

// "Cancelled while the printer was busy." and friends: the details of a transfer that ended
// without success, `what` naming the device.
std::string TransferDetails(TransferEnd end, std::string_view what, std::string_view error);

}  // namespace tavi

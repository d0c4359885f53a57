// tavi-cli's own texts and exit statuses, defined once.
#pragma once

#include <string_view>

namespace tavi::cli {

// Exit statuses of tavi-cli.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;    // the operation failed; its message is on stderr
inline constexpr int kExitUsage = 2;     // usage error or unusable input
inline constexpr int kExitTimedOut = 3;  // --timeout ran out
inline constexpr int kExitMismatch = 4;  // put-params --verify: the block read back differs
// params diff exits like cmp: 0 equal, 1 different, 2 trouble.
inline constexpr int kExitDifferent = 1;
inline constexpr int kExitInterrupted = 130;  // SIGINT

// An output file named so means standard output.
inline constexpr std::string_view kStdoutName = "-";

inline constexpr std::string_view kTextTimedOut = "Timed out.";
inline constexpr std::string_view kDetailsPrefix = "  details: ";
inline constexpr std::string_view kTextNoHost =
    "No printer host: give --host, or select a host in the settings.";
inline constexpr std::string_view kTextNoHeadRankLine =
    "The head rank file holds no head rank line.";
inline constexpr std::string_view kTextBlockSize = "A parameter block holds 1 to 131,071 bytes.";
inline constexpr std::string_view kTextBlockTooBig = "The block does not fit in a parameter file.";
inline constexpr std::string_view kTextNoPrinters =
    "No parallel port and no matching USB printer found.";
inline constexpr std::string_view kTextNoBroadcast =
    "No network interface with a broadcast address: give the addresses to ask as TARGETs.";
inline constexpr std::string_view kTextSweepReceiveFailed =
    "The network sweep stopped early: its socket failed.";

// Runs across several hosts (--hosts).
inline constexpr std::string_view kTextFailed = "The operation failed.";
inline constexpr std::string_view kTextInterrupted = "Interrupted.";
inline constexpr std::string_view kTextNotStarted = "Not started.";
inline constexpr std::string_view kTextFleetPort =
    "--hosts reaches printers over the network; --port can only be network.";
inline constexpr std::string_view kTextFleetNeedsPath =
    "With several hosts each printer needs a file of its own: put {host} in the path, e.g. "
    "'backup/{host}.prm' or report -o 'reports/{host}.txt'.";
inline constexpr std::string_view kTextFleetNeedsYes =
    "This changes several printers: give --yes to go on without a terminal to confirm it.";
inline constexpr std::string_view kTextFleetDeclined = "Not confirmed; no printer was contacted.";

}  // namespace tavi::cli

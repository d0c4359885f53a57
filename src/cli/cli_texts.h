// tavi-cli's own texts and exit statuses, defined once.
#pragma once

#include <string_view>

namespace tavi::cli {

// Exit statuses of tavi-cli.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;         // the operation failed; its message is on stderr
inline constexpr int kExitUsage = 2;          // usage error or unusable input
inline constexpr int kExitTimedOut = 3;       // --timeout ran out
inline constexpr int kExitInterrupted = 130;  // SIGINT

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

}  // namespace tavi::cli

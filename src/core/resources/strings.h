// The program's string table: every user-visible fixed text, defined once.
#pragma once

#include <string_view>

namespace tavi {

enum StringId : int {
  kIdsAboutMenu = 101,         // "Version of Tavi(&A)..."
  kIdsSocketInitFailed = 103,  // "Failed to initialize Windows socket."
  kIdsFailedToConnect = 104,
  kIdsFailedToSend = 105,
  kIdsFailedToReceive = 106,
  kIdsFailedToOpenPort = 107,
  kIdsFailedToWrite = 108,
  kIdsFailedToRead = 109,
  kIdsIllegalParameterFile = 110,
  kIdsDone = 111,
  kIdsIllegalHeadRankFile = 112,
  // A firmware upgrade the person cancelled once the printer had been told to take an image.
  kIdsUpgradeCancelled = 113,
  // A verified restore: the printer's block read back equals the file, differs from it, or the
  // printer did not answer again to be read.
  kIdsVerifiedEqual = 114,
  kIdsVerifyMismatch = 115,
  kIdsVerifyNoAnswer = 116,
  // Put Parameters with a safety copy asked for, when the printer's current block could not be
  // read or kept: nothing is written to the printer.
  kIdsSafetyCopyFailed = 117,
};

// The messages that say an operation went well ("Done." and the verified read-back).
constexpr bool IsSuccessMessage(int id) {
  return id == kIdsDone || id == kIdsVerifiedEqual;
}

// The text of string-table entry `id`; empty for an id the table does not hold.
std::string_view LoadString(int id);

inline constexpr std::string_view kAppName = "Tavi";

}  // namespace tavi

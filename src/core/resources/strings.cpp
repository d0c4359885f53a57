#include "core/resources/strings.h"

namespace tavi {

std::string_view LoadString(int id) {
  switch (id) {
    case kIdsAboutMenu:
      return "Version of Tavi(&A)...";
    case kIdsSocketInitFailed:
      return "Failed to initialize Windows socket.";
    case kIdsFailedToConnect:
      return "Failed to connect.";
    case kIdsFailedToSend:
      return "Failed to send.";
    case kIdsFailedToReceive:
      return "Failed to receive.";
    case kIdsFailedToOpenPort:
      return "Failed to open port.";
    case kIdsFailedToWrite:
      return "Failed to write.";
    case kIdsFailedToRead:
      return "Failed to read.";
    case kIdsIllegalParameterFile:
      return "Illegal Parameter File.";
    case kIdsDone:
      return "Done.";
    case kIdsIllegalHeadRankFile:
      return "Illegal Head Rank File.";
    case kIdsUpgradeCancelled:
      return "Firmware upgrade cancelled. The printer may now hold part of an image: run the "
             "upgrade again, to its end.";
    case kIdsSafetyCopyFailed:
      return "The printer's current parameters could not be kept as a safety copy, so nothing "
             "was restored.";
    case kIdsVerifiedEqual:
      return "The printer's parameter block was read back and equals the file.";
    case kIdsVerifyMismatch:
      return "The printer's parameter block, read back, differs from the file.";
    case kIdsVerifyNoAnswer:
      return "The printer did not answer again after the restore, so its parameter block was "
             "not read back.";
    default:
      return {};
  }
}

}  // namespace tavi

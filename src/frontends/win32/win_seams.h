// Message boxes and the standard file dialogs of the Windows desktop program.
#pragma once

#include <functional>
#include <string>

#include "core/ui/seams.h"

namespace tavi {
class RecentFolders;
}

namespace tavi::win {

// Message boxes titled "Tavi" with the string table's texts, over the window the person works
// in (the active one). Failures carry the warning icon, "Done." the information icon; a
// message's details stand below its text. A failure offers "Save Trace..." beside OK while
// `trace_available` says there is a trace of the operation.
class WinMessages final : public Messages {
 public:
  void ShowMessage(int id, std::string_view details = {}) override;
  void ShowFileError(const FileError& error) override;

  // `save` runs after the message closed with "Save Trace...".
  void OfferTrace(std::function<bool()> trace_available, std::function<void()> save) {
    trace_available_ = std::move(trace_available);
    save_trace_ = std::move(save);
  }

 private:
  std::function<bool()> trace_available_;
  std::function<void()> save_trace_;
};

// The system's open and save dialogs: no filter list, no default extension, no initial file
// name, the read-only check box hidden; the save form asks before it overwrites a file. Each
// starts in the folder last used for its kind of file, and remembers the one chosen.
class WinFileChooser final : public FileChooser {
 public:
  void set_folders(RecentFolders* folders) { folders_ = folders; }

  std::string AskOpenFile(FileKind kind = FileKind::kOther) override;
  std::string AskSaveFile(FileKind kind = FileKind::kOther) override;
  void SaveFailed(FileKind kind) override;

 private:
  std::string Ask(FileKind kind, bool save);

  RecentFolders* folders_ = nullptr;
};

}  // namespace tavi::win

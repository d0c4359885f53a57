// A file chooser that remembers every file chosen through it (to open: read; to save: written)
// until they are taken, so that the record of an operation lists the files it used.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "core/ui/seams.h"

namespace tavi {

class NotingChooser final : public FileChooser {
 public:
  explicit NotingChooser(FileChooser& inner) : inner_(inner) {}

  std::string AskOpenFile(FileKind kind = FileKind::kOther) override {
    return Noted(inner_.AskOpenFile(kind), "read");
  }
  std::string AskSaveFile(FileKind kind = FileKind::kOther) override {
    return Noted(inner_.AskSaveFile(kind), "written");
  }
  void SaveFailed(FileKind kind) override { inner_.SaveFailed(kind); }

  // The files chosen since the last call, each with its role, in the order chosen.
  [[nodiscard]] std::vector<std::pair<std::string, std::string>> Take() {
    return std::exchange(chosen_, {});
  }

 private:
  std::string Noted(std::string path, const char* role) {
    if (!path.empty()) chosen_.emplace_back(path, role);
    return path;
  }

  FileChooser& inner_;
  std::vector<std::pair<std::string, std::string>> chosen_;
};

}  // namespace tavi

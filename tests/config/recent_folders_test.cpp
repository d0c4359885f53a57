// Remembered folders of the file dialogs: their own section of the settings file, beside the
// port settings, and the one save at exit that says when it fails.
#include "core/settings/recent_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/operations/get_report.h"
#include "core/settings/save_at_exit.h"
#include "core/settings/settings_store.h"
#include "support/doubles.h"
#include "support/peers.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

class RecentFoldersTest : public ::testing::Test {
 protected:
  test::TempDir temp_;
  const fs::path dir_{temp_.path()};
};

TEST_F(RecentFoldersTest, EachKindKeepsItsFolderAcrossRunsBesideThePortSettings) {
  const std::string ini = (dir_ / "Tavi.ini").string();
  std::ofstream(ini) << "; mine\r\n[Port]\r\nPort=1\r\nNumHost=1\r\nHost0=127.0.0.115\r\n";

  RecentFolders first = RecentFolders::Load(ini);
  EXPECT_EQ(first.Folder(FileKind::kParameterFile), "");
  first.Remember(FileKind::kParameterFile, "/srv/backups/printer-7.prm");
  first.Remember(FileKind::kFirmwareImage, "/opt/fw/v2/update.bin");
  first.Remember(FileKind::kReport, "/home/tech/reports/today.txt");
  first.Remember(FileKind::kOther, "/tmp/ignored.txt");
  EXPECT_TRUE(first.changed());
  test::RecordingMessages messages;
  PortSettings settings = LoadSettings(ini);
  settings.machine_type = 0;
  ASSERT_TRUE(SaveAtExit(ini, settings, first, messages));
  EXPECT_TRUE(messages.shown.empty());

  const std::string text = test::ReadFileText(ini);
  // The port section keeps its lines and gets its values; the folders sit in their own section.
  EXPECT_EQ(text.rfind("; mine\r\n[Port]\r\nPort=1\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("MachineType=0\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("[Folders]\r\n"), std::string::npos) << text;
  EXPECT_GT(text.find("[Folders]"), text.find("MachineType=0")) << text;
  EXPECT_EQ(LoadSettings(ini).hosts, std::vector<std::string>{"127.0.0.115"});

  RecentFolders second = RecentFolders::Load(ini);
  EXPECT_EQ(second.Folder(FileKind::kParameterFile), "/srv/backups");
  EXPECT_EQ(second.Folder(FileKind::kFirmwareImage), "/opt/fw/v2");
  EXPECT_EQ(second.Folder(FileKind::kReport), "/home/tech/reports");
  EXPECT_EQ(second.Folder(FileKind::kHeadRankFile), "");
  EXPECT_EQ(second.Folder(FileKind::kOther), "");
  // The same folder again is no change, so nothing is written.
  second.Remember(FileKind::kReport, "/home/tech/reports/other.txt");
  EXPECT_FALSE(second.changed());
}

// A chooser that remembers folders the way the windows' choosers do.
class RememberingChooser : public test::ScriptedFileChooser {
 public:
  explicit RememberingChooser(RecentFolders& folders) : folders_(folders) {}
  std::string AskSaveFile(FileKind kind) override {
    std::string path = ScriptedFileChooser::AskSaveFile(kind);
    folders_.Remember(kind, path);
    return path;
  }
  void SaveFailed(FileKind kind) override { folders_.ForgetLast(kind); }

 private:
  RecentFolders& folders_;
};

TEST_F(RecentFoldersTest, AFolderWhereTheSaveFailedIsNotTheNextStart) {
  RecentFolders folders;
  folders.Remember(FileKind::kReport, (dir_ / "reports" / "old.txt").string());
  RememberingChooser chooser(folders);
  test::RecordingMessages messages;
  // No file can be made under /proc: the report's save fails there, twice in a row.
  chooser.save_answers = {"/proc/tavi-report.txt", "/proc/tavi-report-2.txt",
                          (dir_ / "today.txt").string()};
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(SaveReportFlow("REPORT", chooser, messages), FlowOutcome::kFileWriteError);
    EXPECT_EQ(folders.Folder(FileKind::kReport), (dir_ / "reports").string());
  }
  EXPECT_EQ(SaveReportFlow("REPORT", chooser, messages), FlowOutcome::kSuccess);
  EXPECT_EQ(folders.Folder(FileKind::kReport), dir_.string());
  EXPECT_EQ(messages.shown.size(), 2u);
}

TEST_F(RecentFoldersTest, ASaveThatFailsNamesTheFileAndTheCause) {
  // The settings file's folder cannot be made: a plain file stands where it would go.
  std::ofstream(dir_ / "blocker") << "x";
  const std::string ini = (dir_ / "blocker" / "Tavi.ini").string();
  RecentFolders folders;
  test::RecordingMessages messages;
  EXPECT_FALSE(SaveAtExit(ini, PortSettings{}, folders, messages));
  ASSERT_EQ(messages.shown.size(), 1u);
  const std::string& said = messages.shown[0].file_error;
  EXPECT_NE(said.find((dir_ / "blocker").string()), std::string::npos) << said;
  EXPECT_NE(said.find("Not a directory"), std::string::npos) << said;
}

}  // namespace
}  // namespace tavi

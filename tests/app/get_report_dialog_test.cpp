// The Get Report window: what it shows and what Save writes.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/get_report_dialog.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class GetReportDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavi-report-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Save pressed with the mouse on the window as it is on screen.
  void ClickSave() {
    if (!dialog_.isVisible()) {
      ASSERT_TRUE(test::ShowOnScreen(dialog_));
    }
    test::ClickControl(dialog_, kIdReportSave);
  }

  fs::path dir_;
  test::ScriptedFileChooser chooser_;
  test::RecordingMessages messages_;
  GetReportDialog dialog_{chooser_, messages_};
};

TEST_F(GetReportDialogTest, TemplateAndReadOnlyMonospacePane) {
  EXPECT_EQ(dialog_.windowTitle(), QString("Get Report"));
  auto* pane = FindControlAs<QPlainTextEdit>(dialog_, kIdReportText);
  ASSERT_NE(pane, nullptr);
  EXPECT_TRUE(pane->isReadOnly());
  EXPECT_TRUE(test::AllGlyphsAdvanceAlike(pane->font()));
  EXPECT_EQ(FindControlAs<QPushButton>(dialog_, kIdReportSave)->text(), QString("Save"));
  EXPECT_TRUE(FindControlAs<QPushButton>(dialog_, kIdOk)->isDefault());
  EXPECT_TRUE(dialog_.windowFlags() & Qt::WindowMinimizeButtonHint);
  if (!qEnvironmentVariableIsEmpty("TAVI_SCREENSHOT_DIR")) {
    dialog_.SetReportText(
        "STATUS REPORT\r\n"
        "Model ............. Type2      Firmware ...... 4.12\r\n"
        "Serial number ..... 7G2031184  Print hours ... 1873\r\n"
        "\r\n"
        "Head  Rank code           Nozzles   Temperature\r\n"
        " 1    A4 1F 07 C2 5E 90   ok        31 C\r\n"
        " 2    A4 1F 07 C1 5E 8F   ok        31 C\r\n"
        " 3    A3 20 06 C2 5D 90   2 weak    32 C\r\n"
        " 4    A4 1E 07 C2 5E 91   ok        31 C\r\n"
        "\r\n"
        "Ink         Level   Waste tank ... 38 %\r\n"
        "Cyan         72 %   Cleanings .... 214\r\n"
        "Magenta      64 %   Paper path ... clear\r\n"
        "Yellow       81 %\r\n"
        "Black        43 %\r\n");
    test::SaveScreenshot(dialog_, "get-report");
  }
}

TEST_F(GetReportDialogTest, SaveWritesExactlyTheBytesEachTimeItIsUsed) {
  const std::string report("Line 1\r\nLine 2\n\xE9t\xE9\0tail\r", 23);
  dialog_.SetReportText(report);
  // Not valid UTF-8: shown as Latin-1, saved unchanged.
  EXPECT_TRUE(FindControlAs<QPlainTextEdit>(dialog_, kIdReportText)
                  ->toPlainText()
                  .startsWith(QString::fromUtf8("Line 1\nLine 2\n\xC3\xA9t\xC3\xA9")));

  const fs::path first = dir_ / "report.txt";
  const fs::path second = dir_ / "again.txt";
  { std::ofstream(first, std::ios::binary) << "an older and much longer report than this one"; }
  chooser_.save_answers = {first.string(), "", second.string()};
  ClickSave();
  ClickSave();  // cancelled: nothing written
  ClickSave();
  EXPECT_EQ(chooser_.save_asked, 3);
  EXPECT_EQ(ReadAll(first), report);
  EXPECT_EQ(ReadAll(second), report);
  EXPECT_TRUE(messages_.shown.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(GetReportDialogTest, EmptyReportSavesAZeroByteFile) {
  const fs::path target = dir_ / "empty.txt";
  { std::ofstream(target, std::ios::binary) << "old"; }
  chooser_.save_answers = {target.string()};
  ClickSave();
  EXPECT_TRUE(fs::exists(target));
  EXPECT_EQ(fs::file_size(target), 0u);
}

TEST_F(GetReportDialogTest, FailedSaveShowsTheFileErrorAndKeepsWhatWasThere) {
  dialog_.SetReportText("NEW REPORT");
  // The chosen name is a folder holding a file: it cannot be replaced by the report.
  const fs::path target = dir_ / "taken";
  fs::create_directories(target);
  { std::ofstream(target / "keep.txt", std::ios::binary) << "kept"; }
  chooser_.save_answers = {target.string()};
  ClickSave();
  ASSERT_EQ(messages_.shown.size(), 1u);
  const std::string& text = messages_.shown[0].file_error;
  EXPECT_EQ(text.rfind("Could not ", 0), 0u) << text;
  EXPECT_NE(text.find(target.string() + ": "), std::string::npos) << text;
  EXPECT_EQ(ReadAll(target / "keep.txt"), "kept");
  // No temporary file is left behind in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  EXPECT_EQ(dialog_.report_text(), "NEW REPORT");

  // A folder that does not exist fails the same way.
  chooser_.save_answers = {(dir_ / "no" / "such" / "r.txt").string()};
  ClickSave();
  EXPECT_EQ(messages_.shown.size(), 2u);
}

TEST(ReportDisplayText, ValidUtf8IsShownAsUtf8) {
  EXPECT_EQ(ReportDisplayText("T\xC3\xA9te"), QString::fromUtf8("T\xC3\xA9te"));
  EXPECT_EQ(ReportDisplayText("T\xE9te"), QString::fromLatin1("T\xE9te"));
  EXPECT_TRUE(ReportDisplayText("").isEmpty());
}

}  // namespace
}  // namespace tavi

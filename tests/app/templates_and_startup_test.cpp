// Dialog templates as data, the unit conversion, the message boxes, the socket start-up and
// the program's start and exit with a settings file.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/resources/dialog_templates.h"
#include "core/resources/strings.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/qt_messages.h"
#include "os/socket_startup.h"
#include "qt_env.h"
#include "ui_script.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

TEST(DialogTemplates, EveryControlLiesInsideItsDialog) {
  for (int id :
       {kDlgAbout, kDlgMain, kDlgGetReport, kDlgSelectPort, kDlgProgress, kDlgSetHeadRank}) {
    const DialogTemplate* t = FindDialogTemplate(id);
    ASSERT_NE(t, nullptr) << id;
    EXPECT_FALSE(t->caption.empty()) << id;
    for (const ControlTemplate& c : t->controls) {
      EXPECT_GE(c.x, 0) << id << " " << c.id;
      EXPECT_GE(c.y, 0) << id << " " << c.id;
      EXPECT_GT(c.width, 0) << id << " " << c.id;
      EXPECT_LE(c.x + c.width, t->width) << id << " " << c.id << " " << c.text;
      // Drop-down lists reach below the dialog when opened; their closed box does not.
      if (c.kind != ControlKind::kComboBox && c.kind != ControlKind::kDropDownList) {
        EXPECT_LE(c.y + c.height, t->height) << id << " " << c.id << " " << c.text;
      }
    }
  }
  EXPECT_EQ(FindDialogTemplate(101), nullptr);
}

TEST(DialogTemplates, MainDialogCommandButtonsAndHeadRankFieldLimits) {
  const DialogTemplate& main = *FindDialogTemplate(kDlgMain);
  EXPECT_EQ(main.caption, "Tavi");
  EXPECT_EQ(main.width, 101);
  EXPECT_EQ(main.height, 147);
  for (int id : kCommandButtonIds) {
    const ControlTemplate* c = main.Find(id);
    ASSERT_NE(c, nullptr) << id;
    EXPECT_EQ(c->kind, ControlKind::kPushButton) << id;
    EXPECT_EQ(c->x, 7);
    EXPECT_EQ(c->width, 87);
    EXPECT_EQ(c->height, 15);
  }
  EXPECT_EQ(main.Find(kIdDevelopmentLabel)->text, "For development");
  EXPECT_EQ(FindDialogTemplate(kDlgAbout)->Find(kIdVersionText)->text, "aaa");

  const DialogTemplate& rank = *FindDialogTemplate(kDlgSetHeadRank);
  const int limits[] = {7, 7, 1, 5, 7, 6};
  for (int i = 0; i < 6; ++i) {
    const ControlTemplate* field = rank.Find(kIdRankField1 + i);
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->max_length, limits[i]);
    EXPECT_LE(static_cast<int>(field->text.size()), limits[i]);
  }
}

TEST(DialogUnits, ScaleByQuarterWidthAndEighthHeight) {
  EXPECT_EQ(DialogUnitsToPixels(7, 10, 87, 15, {6, 13}), (PixelRect{10, 16, 130, 24}));
  EXPECT_EQ(DialogUnitsToPixels(0, 0, 336, 319, {8, 16}), (PixelRect{0, 0, 672, 638}));
  EXPECT_EQ(DialogUnitsToPixels(3, 3, 1, 1, {0, 0}), (PixelRect{}));
}

TEST(DialogBuilder, RadioGroupsFollowTheTemplateGroupsAndEditsTheirLimits) {
  QDialog port;
  BuildDialog(port, *FindDialogTemplate(kDlgSelectPort));
  auto* parallel = FindControlAs<QRadioButton>(port, kIdPortParallel);
  auto* usb = FindControlAs<QRadioButton>(port, kIdPortUsb);
  auto* type1 = FindControlAs<QRadioButton>(port, kIdType1);
  ASSERT_TRUE(parallel && usb && type1);
  ASSERT_TRUE(test::ShowOnScreen(port));
  test::ClickControl(port, kIdPortParallel);
  test::ClickControl(port, kIdType1);
  test::ClickControl(port, kIdPortUsb);
  // USB replaces Parallel in the port group; the type group is untouched.
  EXPECT_FALSE(parallel->isChecked());
  EXPECT_TRUE(usb->isChecked());
  EXPECT_TRUE(type1->isChecked());

  QDialog rank;
  BuildDialog(rank, *FindDialogTemplate(kDlgSetHeadRank));
  auto* field3 = FindControlAs<QLineEdit>(rank, kIdRankField1 + 2);
  ASSERT_NE(field3, nullptr);
  EXPECT_EQ(field3->maxLength(), 1);
  EXPECT_EQ(field3->text(), QString("Q"));
  EXPECT_TRUE(test::AllGlyphsAdvanceAlike(rank.font()));
}

TEST(QtMessagesBox, TitleTextAndDetails) {
  QtMessages messages;
  QString title, text, details;
  test::WhenModalShown([&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    details = box->detailedText();
  });
  messages.ShowMessage(104, "connect: Connection refused");
  EXPECT_EQ(title, QString("Tavi"));
  EXPECT_EQ(text, QString("Failed to connect."));
  EXPECT_EQ(details, QString("connect: Connection refused"));

  test::WhenModalShown([&](QWidget* modal) { text = qobject_cast<QMessageBox*>(modal)->text(); });
  messages.ShowFileError(
      {FileError::Op::kWrite, "/srv/report.txt", SystemCode::Errno(28), "No space left on device"});
  EXPECT_EQ(text, QString("Could not write /srv/report.txt: No space left on device."));
}

TEST(QtMessagesBox, BelongsToTheWorkingWindowAndIsWideEnoughForItsTitle) {
  QDialog owner;
  owner.resize(500, 400);
  QtMessages messages;  // no parent of its own: the box finds the window the person works in
  QWidget* parent = nullptr;
  Qt::WindowModality modality = Qt::NonModal;
  int width = 0;
  int title_width = 0;
  QPoint offset;
  test::WhenModalShown([&](QWidget*) {
    test::WhenModalShown([&](QWidget* box) {
      parent = box->parentWidget();
      modality = box->windowModality();
      width = box->width();
      title_width = box->fontMetrics().horizontalAdvance(box->windowTitle());
      offset = box->frameGeometry().center() - owner.frameGeometry().center();
    });
    messages.ShowMessage(kIdsDone);
  });
  owner.exec();
  EXPECT_EQ(parent, &owner);
  EXPECT_EQ(modality, Qt::WindowModal);  // blocks its window only
  EXPECT_GE(width, title_width + 24 * owner.fontMetrics().averageCharWidth());
  EXPECT_LE(offset.manhattanLength(), 8) << offset.x() << "," << offset.y();
}

TEST(SocketStartup, SucceedsAndIgnoresBrokenPipes) {
  const auto previous = std::signal(SIGPIPE, SIG_DFL);
  EXPECT_TRUE(StartSocketLayer());
  EXPECT_EQ(std::signal(SIGPIPE, previous), SIG_IGN);
}

// Runs the desktop program until its main window has been shown, then lets it exit.
TEST(Program, LoadsTheSettingsFileAndSavesItAtExit) {
  const char* bin = std::getenv("TAVI_BIN_DIR");
  if (bin == nullptr) GTEST_SKIP() << "TAVI_BIN_DIR is not set";
  const fs::path program = fs::path(bin) / "tavi";
  if (!fs::exists(program)) GTEST_SKIP() << "tavi is not built";
  const fs::path dir = fs::temp_directory_path() /
                       ("tavi-start-" + std::to_string(QCoreApplication::applicationPid()));
  fs::create_directories(dir);
  const fs::path ini = dir / "Tavi.ini";
  {
    std::ofstream out(ini);
    out << "; kept\n[Port]\nPort=1\nHostSel=1\nNumHost=2\nHost0=127.0.0.60\nHost1=127.0.0.61\n"
           "MachineType=0\n";
  }
  const std::string command = "QT_QPA_PLATFORM=offscreen '" + program.string() + "' --settings '" +
                              ini.string() +
                              "' --lpd-port 5515 --snmp-port 5161 --exit-after-show > '" +
                              (dir / "out.txt").string() + "' 2>/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  std::ifstream in(ini);
  const std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* line : {"Port=1", "HostSel=1", "NumHost=2", "Host0=127.0.0.60",
                           "Host1=127.0.0.61", "MachineType=0", "Win9x_ExtraDelay=22000"}) {
    EXPECT_NE(saved.find(line), std::string::npos) << line << " in\n" << saved;
  }
  std::ifstream out(dir / "out.txt");
  long long shown_at = 0;
  EXPECT_TRUE(out >> shown_at);
  EXPECT_GT(shown_at, 0);
  fs::remove_all(dir);
}

// Runs `tavi ARGS` without any display, capturing stdout; returns the exit status.
int RunWithoutDisplay(const std::string& args, std::string& out) {
  const char* bin = std::getenv("TAVI_BIN_DIR");
  const fs::path program = fs::path(bin) / "tavi";
  const fs::path capture = fs::temp_directory_path() /
                           ("tavi-out-" + std::to_string(QCoreApplication::applicationPid()));
  const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                              program.string() + "' " + args + " > '" + capture.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(capture);
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  fs::remove(capture);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Program, VersionAndHelpNeedNoDisplayAndBadPortsAreRefused) {
  const char* bin = std::getenv("TAVI_BIN_DIR");
  if (bin == nullptr || !fs::exists(fs::path(bin) / "tavi")) GTEST_SKIP() << "tavi is not built";
  std::string out;
  EXPECT_EQ(RunWithoutDisplay("--version", out), 0);
  EXPECT_EQ(out, "tavi 3.0\n");
  EXPECT_EQ(RunWithoutDisplay("--help", out), 0);
  EXPECT_EQ(out.rfind("Usage: tavi [options]", 0), 0u) << out;
  for (const char* option : {"--settings", "--lpd-port", "--snmp-port", "--version"}) {
    EXPECT_NE(out.find(option), std::string::npos) << option << " in\n" << out;
  }
  EXPECT_EQ(RunWithoutDisplay("-platform offscreen --lpd-port 70000", out), 2);
  EXPECT_NE(out.find("--lpd-port needs a port from 1 to 65535"), std::string::npos) << out;
  EXPECT_EQ(RunWithoutDisplay("-platform offscreen --no-such-option", out), 2);
  // Without a display: a wrong option and a plain start end with a reason, not an abort.
  EXPECT_EQ(RunWithoutDisplay("--bogus", out), 2);
  EXPECT_NE(out.find("unknown option 'bogus'"), std::string::npos) << out;
  EXPECT_EQ(RunWithoutDisplay("", out), 1);
  EXPECT_NE(out.find("no display"), std::string::npos) << out;
}

}  // namespace
}  // namespace tavi

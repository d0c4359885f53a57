// The Set Head Rank window: its controls, what "Set" hands over, Escape, and "Reference...".
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "core/resources/strings.h"
#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/set_head_rank_dialog.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;
using test::WhenModalShown;

QLineEdit* Field(const QWidget& window, int n) {
  return FindControlAs<QLineEdit>(window, kIdRankField1 + n - 1);
}

QStringList FieldTexts(const QWidget& window) {
  QStringList texts;
  for (int n = 1; n <= 6; ++n) texts << Field(window, n)->text();
  return texts;
}

const QStringList kDefaults = {"7BZ3E3C", "VXUWVUQ", "Q", "2100Y", "012VTTR", "40UWJB"};

class SetHeadRankWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavi-rank-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string File(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  fs::path dir_;
  test::ScriptedFileChooser chooser_;
  test::RecordingMessages messages_;
};

TEST_F(SetHeadRankWindowTest, OpensWithHeadOneTheDefaultsAndNoCloseBox) {
  SetHeadRankDialog window(chooser_, messages_);
  EXPECT_EQ(window.windowTitle(), QString("Set Head Rank"));
  EXPECT_FALSE(window.windowFlags() & Qt::WindowSystemMenuHint);
  EXPECT_FALSE(window.windowFlags() & Qt::WindowCloseButtonHint);
  auto* heads = FindControlAs<QComboBox>(window, kIdHeadNumber);
  ASSERT_NE(heads, nullptr);
  EXPECT_FALSE(heads->isEditable());
  ASSERT_EQ(heads->count(), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(heads->itemText(i), QString::number(i + 1));
  EXPECT_EQ(heads->currentIndex(), 0);
  EXPECT_EQ(FieldTexts(window), kDefaults);
  // The template's 91 units include the dropped-down list; the closed box is one line high.
  EXPECT_EQ(heads->height(), heads->sizeHint().height());
}

TEST_F(SetHeadRankWindowTest, SetHandsOverTheHeadIndexAndTheFieldsAsTyped) {
  SetHeadRankDialog window(chooser_, messages_);
  WhenModalShown([](QWidget* modal) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(modal));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::focusWidget() == FindControl(*modal, kIdHeadNumber); }));
    test::PressKey(Qt::Key_8);  // the head list has the keyboard: head "8"
    QLineEdit* first = Field(*modal, 1);
    first->selectAll();
    QTest::keyClicks(first, "ab");  // shorter than the field: no filler
    QLineEdit* third = Field(*modal, 3);
    third->selectAll();
    QTest::keyClicks(third, "xyz");  // one character at most
    test::ClickControl(*modal, kIdOk);
  });
  ASSERT_EQ(window.exec(), QDialog::Accepted);
  EXPECT_EQ(window.head_index(), 7);
  EXPECT_EQ(BuildHeadRankString(window.fields()), "abVXUWVUQx 2100Y012VTTR 40UWJB");
}

TEST_F(SetHeadRankWindowTest, EscapeAndCancelCloseWithoutSet) {
  for (bool escape : {true, false}) {
    SetHeadRankDialog window(chooser_, messages_);
    WhenModalShown([escape](QWidget* modal) {
      if (escape) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(modal));
        test::ClickControl(*modal, kIdRankField1 + 1);  // into the second field
        EXPECT_EQ(QApplication::focusWidget(), Field(*modal, 2));
        test::PressKey(Qt::Key_Escape);
      } else {
        test::ClickControl(*modal, kIdCancel);
      }
    });
    EXPECT_EQ(window.exec(), QDialog::Rejected) << (escape ? "Escape" : "Cancel");
  }
}

TEST_F(SetHeadRankWindowTest, ReferenceLoadsALegalLineAndKeepsTheFieldsOtherwise) {
  chooser_.open_answers = {
      File("illegal.txt", "# ranks\n7BZ3E3CVXUWVUQQ_2100Y012VTTR40UWJB\n"),
      File("comments.txt", "# nothing here\n\n   # nor here\n"),
      "",  // cancelled
      (dir_ / "missing.txt").string(),
      File("legal.txt", "\t # head 3\r\n  abcdefgHIJKLMNq 12345%*+-.:: 0a0b0c\r\n"),
  };
  SetHeadRankDialog window(chooser_, messages_);
  QStringList after_illegal, after_nothing, after_cancel, after_missing, after_legal;
  bool stayed_open = true;
  WhenModalShown([&](QWidget* modal) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(modal));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QApplication::focusWidget() == FindControl(*modal, kIdHeadNumber); }));
    test::PressKey(Qt::Key_5);  // head "5"
    QLineEdit* sixth = Field(*modal, 6);
    sixth->selectAll();
    QTest::keyClicks(sixth, "TYPED");
    test::ClickControl(*modal, kIdReference);
    after_illegal = FieldTexts(*modal);
    test::ClickControl(*modal, kIdReference);
    after_nothing = FieldTexts(*modal);
    test::ClickControl(*modal, kIdReference);
    after_cancel = FieldTexts(*modal);
    test::ClickControl(*modal, kIdReference);
    after_missing = FieldTexts(*modal);
    test::ClickControl(*modal, kIdReference);
    after_legal = FieldTexts(*modal);
    stayed_open = QApplication::activeModalWidget() == modal;
    test::ClickControl(*modal, kIdOk);
  });
  ASSERT_EQ(window.exec(), QDialog::Accepted);

  QStringList typed = kDefaults;
  typed[5] = "TYPED";
  EXPECT_EQ(after_illegal, typed);
  EXPECT_EQ(after_nothing, typed);
  EXPECT_EQ(after_cancel, typed);
  EXPECT_EQ(after_missing, typed);
  EXPECT_EQ(after_legal, (QStringList{"abcdefg", "HIJKLMN", "q", "12345", "%*+-.::", "0a0b0c"}));
  EXPECT_TRUE(stayed_open);
  EXPECT_EQ(chooser_.open_asked, 5);
  ASSERT_EQ(messages_.shown.size(), 2u);
  EXPECT_EQ(messages_.shown[0].id, kIdsIllegalHeadRankFile);
  EXPECT_FALSE(messages_.shown[1].file_error.empty());  // the missing file
  // The loaded code is what Set hands over, for the head chosen before.
  EXPECT_EQ(window.head_index(), 4);
  EXPECT_EQ(BuildHeadRankString(window.fields()), "abcdefgHIJKLMNq 12345%*+-.:: 0a0b0c");
}

}  // namespace
}  // namespace tavi

// The Set Head Rank window in every style the system offers, and in a dark one: every rank
// field shows its whole default text, the head list shows each head number, and both group
// boxes show their frame and their title.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyleFactory>
#include <QStyleOptionComboBox>
#include <QStyleOptionFrame>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <memory>
#include <ostream>

#include "frontends/qt/dialog_builder.h"
#include "frontends/qt/set_head_rank_dialog.h"
#include "qt_env.h"
#include "support/doubles.h"
#include "ui_script.h"

namespace tavi {
namespace {

const QStringList kDefaults = {"7BZ3E3C", "VXUWVUQ", "Q", "2100Y", "012VTTR", "40UWJB"};

QPalette DarkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(45, 45, 45));
  dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::Text, QColor(230, 230, 230));
  dark.setColor(QPalette::Button, QColor(55, 55, 55));
  dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
  dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
  return dark;
}

struct Look {
  QString style;
  bool dark_palette;
};

void PrintTo(const Look& look, std::ostream* out) {
  *out << look.style.toStdString() << (look.dark_palette ? " with a dark palette" : "");
}

// Every style of this system, and Fusion with a dark palette (the dark style of any system).
std::vector<Look> Looks() {
  std::vector<Look> looks;
  for (const QString& key : QStyleFactory::keys()) looks.push_back({key, false});
  looks.push_back({"Fusion", true});
  return looks;
}

int Distance(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
         std::abs(qBlue(a) - qBlue(b));
}

// True when some pixel of `band` stands out from `background`.
bool Drawn(const QImage& image, const QRect& band, QRgb background) {
  const QRect r = band.intersected(image.rect());
  for (int y = r.top(); y <= r.bottom(); ++y) {
    for (int x = r.left(); x <= r.right(); ++x) {
      if (Distance(image.pixel(x, y), background) > 24) return true;
    }
  }
  return false;
}

// Where the field draws its cursor (what an input method is told).
QRect CursorRect(const QLineEdit& field) {
  return field.inputMethodQuery(Qt::ImCursorRectangle).toRect();
}

class WindowStylesTest : public ::testing::TestWithParam<Look> {
 protected:
  void SetUp() override {
    original_palette_ = QApplication::palette();
    original_style_ = QApplication::style()->name();
    QApplication::setStyle(QStyleFactory::create(GetParam().style));
    if (GetParam().dark_palette) QApplication::setPalette(DarkPalette());
  }
  void TearDown() override {
    QApplication::setStyle(QStyleFactory::create(original_style_));
    QApplication::setPalette(original_palette_);
  }

  QPalette original_palette_;
  QString original_style_;
  test::ScriptedFileChooser chooser_;
  test::RecordingMessages messages_;
};

TEST_P(WindowStylesTest, RankFieldsHeadListAndGroupBoxesShowTheirWholeText) {
  SetHeadRankDialog window(chooser_, messages_);
  ASSERT_TRUE(test::ShowOnScreen(window));
  QStyle* style = window.style();
  const QString shots = qEnvironmentVariable("TAVI_SCREENSHOT_DIR");
  if (!shots.isEmpty()) {
    window.grab().save(shots + "/set_head_rank-" + GetParam().style +
                       (GetParam().dark_palette ? "-dark" : "") + ".png");
  }

  for (int n = 0; n < 6; ++n) {
    QLineEdit* field = FindControlAs<QLineEdit>(window, kIdRankField1 + n);
    ASSERT_NE(field, nullptr);
    SCOPED_TRACE(kDefaults[n].toStdString());
    ASSERT_EQ(field->text(), kDefaults[n]);
    const int text = field->fontMetrics().horizontalAdvance(field->text());
    // The style's contents rect holds the text, the cursor and the two-pixel margins.
    QStyleOptionFrame option;
    option.initFrom(field);
    option.rect = field->contentsRect();
    option.lineWidth = style->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
    option.state |= QStyle::State_Sunken;
    const QRect contents = style->subElementRect(QStyle::SE_LineEditContents, &option, field);
    EXPECT_GE(contents.width() - 4, text + 1) << "contents " << contents.width();
    // And the field shows it so: with the cursor at the end the text is not scrolled, the
    // cursor stands a whole text's width right of where it stands at the start.
    field->setCursorPosition(0);
    field->grab();
    const int start = CursorRect(*field).center().x();
    field->setCursorPosition(static_cast<int>(field->text().size()));
    field->grab();
    const int end = CursorRect(*field).center().x();
    EXPECT_GE(end - start, text - 1) << "scrolled by " << text - (end - start);
    EXPECT_LE(CursorRect(*field).right(), field->width());
  }

  auto* heads = FindControlAs<QComboBox>(window, kIdHeadNumber);
  ASSERT_NE(heads, nullptr);
  for (int i = 0; i < heads->count(); ++i) {
    heads->setCurrentIndex(i);
    QStyleOptionComboBox option;
    option.initFrom(heads);
    option.editable = false;
    option.frame = true;
    option.currentText = heads->currentText();
    option.subControls = QStyle::SC_All;
    const QRect shown =
        style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, heads);
    EXPECT_GE(shown.width(), heads->fontMetrics().horizontalAdvance(heads->currentText()))
        << heads->currentText().toStdString();
    EXPECT_GE(shown.height(), heads->fontMetrics().height() - 2);
  }

  const QList<QGroupBox*> groups = window.findChildren<QGroupBox*>();
  ASSERT_EQ(groups.size(), 2);
  for (QGroupBox* group : groups) {
    SCOPED_TRACE(group->title().toStdString());
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.textAlignment = group->alignment();
    QStyle* style = group->style();  // a style sheet's, where the group box has one
    const QRect label =
        style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    const QRect frame =
        style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group);
    EXPECT_GE(label.width(), group->fontMetrics().horizontalAdvance(group->title()));
    EXPECT_TRUE(group->rect().contains(label));
    // The group box alone, without the controls it frames.
    QImage image(group->size(), QImage::Format_RGB32);
    image.fill(group->palette().color(QPalette::Window));
    group->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    const QRgb background = image.pixel(frame.center());
    const int middle = (frame.top() + frame.bottom()) / 2;
    EXPECT_TRUE(Drawn(image, QRect(frame.left(), middle - 2, 3, 5), background)) << "left edge";
    EXPECT_TRUE(Drawn(image, QRect(frame.right() - 2, middle - 2, 3, 5), background))
        << "right edge";
    EXPECT_TRUE(Drawn(image, QRect(frame.center().x() - 2, frame.bottom() - 2, 5, 3), background))
        << "bottom edge";
    EXPECT_TRUE(Drawn(image, label, background)) << "title";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryStyle, WindowStylesTest, ::testing::ValuesIn(Looks()),
                         [](const ::testing::TestParamInfo<Look>& info) {
                           QString name =
                               info.param.style + (info.param.dark_palette ? "Dark" : "");
                           name.remove('-');
                           return name.toStdString();
                         });

}  // namespace
}  // namespace tavi

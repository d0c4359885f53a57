// The icon files the package installs for the desktop show the picture the window paints.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/resources/constants.h"
#include "frontends/qt/app_icon.h"
#include "qt_env.h"

namespace tavi {
namespace {

namespace fs = std::filesystem;

// The share of pixels in which two images of one size clearly differ: some channel, alpha
// included, by more than a quarter of its range. Edges drawn with other antialiasing stay below.
double ShareOfDifferentPixels(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  const QImage y = b.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  int different = 0;
  for (int row = 0; row < x.height(); ++row) {
    const uchar* p = x.constScanLine(row);
    const uchar* q = y.constScanLine(row);
    for (int col = 0; col < x.width(); ++col) {
      int worst = 0;
      for (int c = 0; c < 4; ++c)
        worst = std::max(worst, std::abs(p[col * 4 + c] - q[col * 4 + c]));
      different += worst > 64;
    }
  }
  return double(different) / (x.width() * x.height());
}

double Coverage(const QImage& image) {
  int opaque = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) opaque += qAlpha(image.pixel(x, y)) > 128;
  return double(opaque) / (image.width() * image.height());
}

TEST(AppIcon, InstalledPngsShowTheWindowIcon) {
  const char* bin = std::getenv("TAVI_BIN_DIR");
  if (bin == nullptr) GTEST_SKIP() << "TAVI_BIN_DIR is not set";
  const fs::path icons = fs::path(bin) / ".." / "packaging" / "icons";
  if (!fs::exists(icons)) GTEST_SKIP() << "the packaging files are not built";
  const QIcon window_icon = AppIcon();
  for (int size : {16, 32, 48}) {
    SCOPED_TRACE(size);
    const std::string png = (icons / (std::to_string(size) + "x" + std::to_string(size)) /
                             (std::string(AppId()) + ".png"))
                                .string();
    const QImage installed(QString::fromStdString(png));
    ASSERT_FALSE(installed.isNull()) << png;
    ASSERT_EQ(installed.size(), QSize(size, size));
    const QImage painted = window_icon.pixmap(size, size).toImage();
    ASSERT_EQ(painted.size(), QSize(size, size));
    EXPECT_GT(Coverage(installed), 0.5);
    const double same = ShareOfDifferentPixels(installed, painted);
    // The same measure tells a slightly different picture: mirrored, or moved by one grid unit.
    const double mirrored = ShareOfDifferentPixels(installed, painted.mirrored(true, false));
    QImage moved(painted.size(), QImage::Format_ARGB32_Premultiplied);
    moved.fill(Qt::transparent);
    for (int y = 0; y + size / 16 < size; ++y)
      for (int x = 0; x < size; ++x) moved.setPixel(x, y + size / 16, painted.pixel(x, y));
    const double shifted = ShareOfDifferentPixels(installed, moved);
    std::printf("size %d: %.3f differ, %.3f mirrored, %.3f moved\n", size, same, mirrored, shifted);
    // At most one pixel in 256 (one at 16 pixels); the status light alone covers two.
    constexpr double kLimit = 1.0 / 256;
    EXPECT_LT(same, kLimit);
    EXPECT_GT(mirrored, kLimit);
    EXPECT_GT(shifted, kLimit);
  }
}

}  // namespace
}  // namespace tavi

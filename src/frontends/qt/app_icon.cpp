#include "frontends/qt/app_icon.h"

#include <QPainter>
#include <QPixmap>

namespace tavi {
namespace {

QPixmap PaintIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal u = size / 16.0;
  // Sheet of paper leaving the printer.
  p.setPen(QPen(QColor(90, 90, 90), u * 0.5));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(4 * u, 1 * u, 8 * u, 6 * u));
  p.setPen(QPen(QColor(40, 120, 200), u * 0.6));
  p.drawLine(QPointF(5.5 * u, 3 * u), QPointF(10.5 * u, 3 * u));
  p.drawLine(QPointF(5.5 * u, 5 * u), QPointF(9 * u, 5 * u));
  // Printer body: wide and low.
  p.setPen(QPen(QColor(30, 30, 30), u * 0.5));
  p.setBrush(QColor(70, 80, 95));
  p.drawRoundedRect(QRectF(0.5 * u, 6 * u, 15 * u, 6 * u), u, u);
  // Output slot and a status light.
  p.setBrush(QColor(20, 20, 20));
  p.drawRect(QRectF(3 * u, 9.5 * u, 10 * u, 1 * u));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(60, 200, 80));
  p.drawEllipse(QPointF(13.5 * u, 7.7 * u), 0.8 * u, 0.8 * u);
  // Stand.
  p.setBrush(QColor(70, 80, 95));
  p.drawRect(QRectF(2 * u, 12 * u, 1.5 * u, 3.5 * u));
  p.drawRect(QRectF(12.5 * u, 12 * u, 1.5 * u, 3.5 * u));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(PaintIcon(size));
  return icon;
}

}  // namespace tavi

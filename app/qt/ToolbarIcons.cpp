#include "app/qt/ToolbarIcons.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int IconSize = 16;

QPixmap EmptyIcon() {
  QPixmap Icon(IconSize, IconSize);
  Icon.fill(Qt::transparent);
  return Icon;
}

} // namespace

QPixmap CaptureIcon() {
  QPixmap Icon = EmptyIcon();
  QPainter P(&Icon);
  P.setRenderHint(QPainter::Antialiasing);
  // Body with the viewfinder bump on top.
  P.setPen(QPen(QColor(40, 40, 48), 1));
  P.setBrush(QColor(96, 100, 112));
  P.drawRoundedRect(QRectF(5.5, 2.5, 5, 3), 1, 1);
  P.drawRoundedRect(QRectF(0.5, 4.5, 15, 10), 2, 2);
  // Lens.
  P.setBrush(QColor(20, 20, 24));
  P.drawEllipse(QPointF(8, 9.5), 4, 4);
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(70, 150, 220));
  P.drawEllipse(QPointF(8, 9.5), 2.5, 2.5);
  P.setBrush(QColor(230, 240, 255));
  P.drawEllipse(QPointF(7, 8.5), 0.9, 0.9);
  // Flash lamp.
  P.setBrush(QColor(250, 210, 60));
  P.drawRect(QRectF(12, 6, 2, 1.5));
  return Icon;
}

QPixmap SaveValuesIcon() {
  QPixmap Icon = EmptyIcon();
  QPainter P(&Icon);
  // Sheet with a folded corner.
  QPainterPath Sheet;
  Sheet.moveTo(1.5, 0.5);
  Sheet.lineTo(10.5, 0.5);
  Sheet.lineTo(14.5, 4.5);
  Sheet.lineTo(14.5, 15.5);
  Sheet.lineTo(1.5, 15.5);
  Sheet.closeSubpath();
  P.setPen(QPen(QColor(90, 90, 100), 1));
  P.setBrush(Qt::white);
  P.drawPath(Sheet);
  P.setBrush(QColor(210, 210, 220));
  P.drawPolygon(QPolygonF({QPointF(10.5, 0.5), QPointF(10.5, 4.5), QPointF(14.5, 4.5)}));
  // Lines of "n=value" text.
  P.setPen(QPen(QColor(40, 60, 160), 1));
  for (int y : {3, 6, 9}) {
    P.drawLine(3, y, 5, y);
    P.drawLine(7, y, y == 3 ? 8 : 12, y);
  }
  // A trace across the foot of the sheet.
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(QPen(QColor(0, 150, 60), 1.3));
  P.setBrush(Qt::NoBrush);
  QPainterPath Wave;
  Wave.moveTo(2.5, 13);
  Wave.cubicTo(4.5, 9.5, 6.5, 9.5, 8, 12.5);
  Wave.cubicTo(9.5, 15, 11.5, 15, 13.5, 11);
  P.drawPath(Wave);
  return Icon;
}

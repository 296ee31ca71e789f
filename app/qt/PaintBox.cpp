#include "app/qt/PaintBox.h"

#include <QPainter>

TPaintBox::TPaintBox(QWidget* Parent) : QWidget(Parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
}

void TPaintBox::paintEvent(QPaintEvent*) {
  QPainter Painter(this);
  if (OnPaint)
    OnPaint(Painter);
}

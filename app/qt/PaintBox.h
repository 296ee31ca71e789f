#pragma once

#include <QWidget>

#include <functional>

class QPainter;

// A bare drawing surface: its owner paints all of it in OnPaint. It is marked
// opaque, so Qt never erases the background first (no flicker between the
// erase and the picture).
class TPaintBox : public QWidget {
public:
  explicit TPaintBox(QWidget* Parent = nullptr);

  std::function<void(QPainter&)> OnPaint;

protected:
  void paintEvent(QPaintEvent* Event) override;
};

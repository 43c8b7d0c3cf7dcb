#include "ui/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

QPixmap DrawAppIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 32.0;
  // Cassette body and label.
  p.setPen(QPen(QColor(30, 30, 40), 1.2 * s));
  p.setBrush(QColor(60, 64, 80));
  p.drawRoundedRect(QRectF(1.5 * s, 5.5 * s, 29 * s, 21 * s), 3 * s, 3 * s);
  p.setBrush(QColor(235, 225, 190));
  p.setPen(Qt::NoPen);
  p.drawRect(QRectF(4 * s, 8 * s, 24 * s, 9 * s));
  // The waveform on the label.
  QPainterPath wave;
  for (int i = 0; i <= 40; ++i) {
    const double x = 5 * s + i * 22 * s / 40;
    const double y = 12.5 * s - std::sin(i * 0.55) * (i % 7 < 4 ? 3.2 : 1.4) * s;
    if (i == 0) wave.moveTo(x, y); else wave.lineTo(x, y);
  }
  p.setPen(QPen(QColor(200, 40, 40), 1.4 * s));
  p.setBrush(Qt::NoBrush);
  p.drawPath(wave);
  // Two reels.
  p.setPen(QPen(QColor(20, 20, 25), 1 * s));
  p.setBrush(QColor(250, 250, 250));
  p.drawEllipse(QPointF(10 * s, 21.5 * s), 3 * s, 3 * s);
  p.drawEllipse(QPointF(22 * s, 21.5 * s), 3 * s, 3 * s);
  return pixmap;
}

QIcon AppIcon() {
  QIcon icon;
  icon.addPixmap(DrawAppIcon(16));
  icon.addPixmap(DrawAppIcon(32));
  return icon;
}

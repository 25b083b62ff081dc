#include "host/images/PicturesUnit.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <functional>

namespace {

// Paints on a transparent square in a 32-unit coordinate system.
QPixmap Paint(int size, const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 32.0, size / 32.0);
  draw(painter);
  return pixmap;
}

// A key lying along the x axis from its bow at the origin, turned by angle degrees.
void DrawKey(QPainter& p, QPointF bow, qreal angle, const QColor& metal) {
  p.save();
  p.translate(bow);
  p.rotate(angle);
  QPainterPath key;
  key.addEllipse(QPointF(0, 0), 4.2, 4.2);
  key.addRect(QRectF(3.5, -1.3, 13.5, 2.6));
  key.addRect(QRectF(12.0, 1.0, 1.8, 3.0));
  key.addRect(QRectF(15.0, 1.0, 2.0, 2.2));
  QPainterPath hole;
  hole.addEllipse(QPointF(-1.2, 0), 1.5, 1.5);
  key = key.subtracted(hole);
  QLinearGradient shine(QPointF(0, -4), QPointF(0, 4));
  shine.setColorAt(0, metal.lighter(150));
  shine.setColorAt(1, metal.darker(130));
  p.setPen(QPen(metal.darker(200), 0.7));
  p.setBrush(shine);
  p.drawPath(key);
  p.restore();
}

void DrawKeyRing(QPainter& p) {
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(90, 90, 100), 1.6));
  p.drawEllipse(QPointF(9.5, 9.5), 6.5, 6.5);
  p.setPen(QPen(QColor(200, 200, 210), 0.6));
  p.drawArc(QRectF(3.8, 3.8, 11.4, 11.4), 30 * 16, 120 * 16);
  DrawKey(p, QPointF(14.0, 12.5), 32, QColor(214, 170, 40));
  DrawKey(p, QPointF(11.5, 15.5), 72, QColor(160, 165, 175));
}

void DrawGear(QPainter& p) {
  QPainterPath gear;
  const QPointF centre(16, 16);
  for (int i = 0; i < 8; ++i) {
    QPainterPath tooth;
    tooth.addRect(QRectF(-2.6, -14, 5.2, 6));
    QTransform turn;
    turn.translate(centre.x(), centre.y());
    turn.rotate(i * 45.0);
    gear.addPath(turn.map(tooth));
  }
  gear.addEllipse(centre, 10, 10);
  gear.setFillRule(Qt::WindingFill);
  QPainterPath hole;
  hole.addEllipse(centre, 4, 4);
  gear = gear.simplified().subtracted(hole);
  QRadialGradient shade(QPointF(12, 12), 18);
  shade.setColorAt(0, QColor(170, 190, 215));
  shade.setColorAt(1, QColor(70, 95, 130));
  p.setPen(QPen(QColor(40, 55, 80), 0.8));
  p.setBrush(shade);
  p.drawPath(gear);
}

void DrawPasswordKey(QPainter& p) {
  DrawKey(p, QPointF(8, 12), 20, QColor(214, 170, 40));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(40, 90, 170));
  p.drawRoundedRect(QRectF(3, 21, 26, 9), 2, 2);
  p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 4; ++i) {
    const QPointF c(8.0 + i * 5.5, 25.5);
    for (int k = 0; k < 3; ++k) {
      const qreal a = qDegreesToRadians(90.0 + k * 60.0);
      const QPointF d(2.2 * qCos(a), 2.2 * qSin(a));
      p.drawLine(c - d, c + d);
    }
  }
}

void DrawInfo(QPainter& p) {
  QRadialGradient shade(QPointF(12, 10), 20);
  shade.setColorAt(0, QColor(120, 170, 240));
  shade.setColorAt(1, QColor(25, 80, 170));
  p.setPen(QPen(QColor(20, 50, 110), 0.8));
  p.setBrush(shade);
  p.drawEllipse(QPointF(16, 16), 14, 14);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(16, 9), 2.3, 2.3);
  p.drawRoundedRect(QRectF(13.8, 13, 4.4, 12), 1.5, 1.5);
}

void DrawExit(QPainter& p) {
  p.setPen(QPen(QColor(90, 60, 30), 0.8));
  p.setBrush(QColor(150, 105, 60));
  p.drawRect(QRectF(5, 3, 14, 26));
  p.setBrush(QColor(60, 40, 20));
  p.drawRect(QRectF(7, 5, 10, 22));
  p.setBrush(QColor(190, 140, 80));
  QPolygonF door;
  door << QPointF(7, 5) << QPointF(14, 8) << QPointF(14, 30) << QPointF(7, 27);
  p.drawPolygon(door);
  p.setPen(QPen(QColor(200, 40, 30), 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(18, 16), QPointF(29, 16));
  p.drawLine(QPointF(25, 12), QPointF(29, 16));
  p.drawLine(QPointF(25, 20), QPointF(29, 16));
}

void DrawAbout(QPainter& p) {
  QLinearGradient card(QPointF(0, 2), QPointF(0, 30));
  card.setColorAt(0, QColor(70, 130, 200));
  card.setColorAt(1, QColor(20, 60, 120));
  p.setPen(QPen(QColor(15, 40, 80), 0.6));
  p.setBrush(card);
  p.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 4, 4);
  p.save();
  p.translate(2.5, 3.5);
  p.scale(0.85, 0.85);
  DrawKeyRing(p);
  p.restore();
}

QPixmap Draw(int size, void (*draw)(QPainter&)) {
  return Paint(size, [draw](QPainter& p) { draw(p); });
}

}  // namespace

QPixmap KeyRingPixmap(int size) {
  return Draw(size, DrawKeyRing);
}

QPixmap AboutPixmap(int size) {
  return Draw(size, DrawAbout);
}

QIcon ActionIcon(int index) {
  static void (*const kDrawings[])(QPainter&) = {DrawGear, DrawPasswordKey, DrawInfo, DrawExit};
  if (index < 0 || index > 3)
    return {};
  QIcon icon;
  for (int size : {16, 24, 32})
    icon.addPixmap(Draw(size, kDrawings[index]));
  return icon;
}

QIcon WindowIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64})
    icon.addPixmap(KeyRingPixmap(size));
  return icon;
}

#include "app/window/logo.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>

namespace talvenor::app::window {

namespace {

const QColor kNavy(23, 54, 93);
const QColor kTeal(28, 128, 140);
const QColor kSheet(236, 242, 248);

// A drum seen slightly from above, filling `box`.
void DrawDrum(QPainter& p, const QRectF& box) {
  const qreal lid = box.height() * 0.28;
  QPainterPath body;
  body.moveTo(box.left(), box.top() + lid / 2);
  body.lineTo(box.left(), box.bottom() - lid / 2);
  body.arcTo(QRectF(box.left(), box.bottom() - lid, box.width(), lid), 180, 180);
  body.lineTo(box.right(), box.top() + lid / 2);
  body.arcTo(QRectF(box.left(), box.top(), box.width(), lid), 0, -180);
  QLinearGradient shade(box.topLeft(), box.topRight());
  shade.setColorAt(0, kTeal.darker(115));
  shade.setColorAt(0.5, kTeal.lighter(125));
  shade.setColorAt(1, kTeal.darker(130));
  p.setPen(QPen(kNavy, 1.5));
  p.setBrush(shade);
  p.drawPath(body);
  // The lid and two bands.
  p.setBrush(kTeal.lighter(150));
  p.drawEllipse(QRectF(box.left(), box.top(), box.width(), lid));
  p.setBrush(Qt::NoBrush);
  for (qreal f : {0.45, 0.72}) {
    const qreal y = box.top() + (box.height() - lid) * f;
    p.drawArc(QRectF(box.left(), y, box.width(), lid), 180 * 16, 180 * 16);
  }
}

// A text sheet with a folded corner and a few lines of "text".
void DrawSheet(QPainter& p, const QRectF& box) {
  const qreal fold = box.width() * 0.3;
  QPainterPath sheet;
  sheet.moveTo(box.topLeft());
  sheet.lineTo(box.right() - fold, box.top());
  sheet.lineTo(box.right(), box.top() + fold);
  sheet.lineTo(box.bottomRight());
  sheet.lineTo(box.bottomLeft());
  sheet.closeSubpath();
  p.setPen(QPen(kNavy, 1.5));
  p.setBrush(kSheet);
  p.drawPath(sheet);
  p.drawLine(QPointF(box.right() - fold, box.top()), QPointF(box.right() - fold, box.top() + fold));
  p.drawLine(QPointF(box.right() - fold, box.top() + fold), QPointF(box.right(), box.top() + fold));
  p.setPen(QPen(kNavy.lighter(160), 2));
  const qreal step = box.height() / 7;
  for (int i = 2; i < 7; ++i) {
    const qreal y = box.top() + step * i;
    const qreal right = box.right() - box.width() * (i % 2 == 0 ? 0.15 : 0.3);
    p.drawLine(QPointF(box.left() + box.width() * 0.15, y), QPointF(right, y));
  }
}

void DrawArrow(QPainter& p, QPointF from, QPointF to) {
  p.setPen(QPen(kTeal, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(from, QPointF(to.x() - 6, to.y()));
  QPainterPath head;
  head.moveTo(to);
  head.lineTo(to.x() - 8, to.y() - 5);
  head.lineTo(to.x() - 8, to.y() + 5);
  head.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kTeal);
  p.drawPath(head);
}

// The sheet, the arrow and the drum for a logo `h` high whose top left corner
// is `at`; returns the drum's box.
QRectF DrawMark(QPainter& p, QPointF at, qreal h) {
  const qreal margin = h * 0.1;
  const QRectF sheet(at.x() + margin, at.y() + margin, h * 0.42, h * 0.8);
  const QRectF drum(sheet.right() + h * 0.32, at.y() + margin + h * 0.12, h * 0.42, h * 0.68);
  const qreal middle = at.y() + h / 2;
  DrawSheet(p, sheet);
  DrawArrow(p, QPointF(sheet.right() + h * 0.05, middle), QPointF(drum.left() - h * 0.04, middle));
  DrawDrum(p, drum);
  return drum;
}

// The mark is this much wider than high (margin, sheet, gap, drum, margin).
constexpr qreal kMarkWidth = 0.1 + 0.42 + 0.32 + 0.42 + 0.1;

}  // namespace

QPixmap DrawLogo(QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::white);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);

  const qreal h = size.height();
  const qreal margin = h * 0.1;
  const QRectF drum = DrawMark(p, QPointF(0, 0), h);

  // The name, with a rule between its two lines.
  const qreal text_left = drum.right() + h * 0.2;
  const QRectF text_box(text_left, margin, size.width() - text_left - margin, h - 2 * margin);
  QFont name("DejaVu Sans");
  name.setBold(true);
  name.setPixelSize(static_cast<int>(h * 0.34));
  p.setFont(name);
  p.setPen(kNavy);
  const QRectF upper(text_box.left(), text_box.top(), text_box.width(), text_box.height() * 0.55);
  p.drawText(upper, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Talvenor"));
  p.setPen(QPen(kTeal, 2));
  const qreal rule = upper.bottom() + h * 0.05;
  p.drawLine(QPointF(text_box.left(), rule), QPointF(text_box.right(), rule));
  QFont tag("DejaVu Sans");
  tag.setPixelSize(static_cast<int>(h * 0.17));
  p.setFont(tag);
  p.setPen(kNavy.lighter(140));
  const QRectF lower(text_box.left(), rule + h * 0.04, text_box.width(), text_box.bottom() - rule);
  p.drawText(lower, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("Import Utility"));
  return pixmap;
}

QImage DrawIcon(int side) {
  QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The mark as wide as the square, centred from top to bottom.
  const qreal h = side / kMarkWidth;
  DrawMark(p, QPointF(0, (side - h) / 2), h);
  return image;
}

}  // namespace talvenor::app::window

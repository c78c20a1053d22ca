#include "ToolbarImages.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <array>
#include <functional>

namespace qx {
namespace {

// Every image is drawn in a 16x16 coordinate system; one-pixel strokes sit
// on half-pixel coordinates so that they cover whole pixels at 1x.
constexpr qreal Grid = 16.0;
const QColor Outline(0x33, 0x3d, 0x4f);

using Painter = std::function<void(QPainter&)>;

QPen OutlinePen(const QColor& colour = Outline, qreal width = 1.0) {
  QPen pen(colour, width);
  pen.setJoinStyle(Qt::RoundJoin);
  pen.setCapStyle(Qt::RoundCap);
  return pen;
}

QLinearGradient Vertical(qreal top, qreal bottom, const QColor& from, const QColor& to) {
  QLinearGradient gradient(0, top, 0, bottom);
  gradient.setColorAt(0, from);
  gradient.setColorAt(1, to);
  return gradient;
}

void BlankPage(QPainter& p) {
  QPainterPath page;
  page.moveTo(3.5, 1.5);
  page.lineTo(9.5, 1.5);
  page.lineTo(12.5, 4.5);
  page.lineTo(12.5, 14.5);
  page.lineTo(3.5, 14.5);
  page.closeSubpath();
  p.setPen(OutlinePen());
  p.setBrush(Vertical(1, 15, Qt::white, QColor(0xe4, 0xe9, 0xf0)));
  p.drawPath(page);
  QPainterPath fold;
  fold.moveTo(9.5, 1.5);
  fold.lineTo(9.5, 4.5);
  fold.lineTo(12.5, 4.5);
  p.setBrush(QColor(0xc9, 0xd2, 0xde));
  p.drawPath(fold);
}

void OpenFolder(QPainter& p) {
  QPainterPath back;
  back.moveTo(1.5, 13.5);
  back.lineTo(1.5, 3.5);
  back.lineTo(5.5, 3.5);
  back.lineTo(6.5, 4.5);
  back.lineTo(12.5, 4.5);
  back.lineTo(12.5, 7.5);
  p.setPen(OutlinePen(QColor(0x8a, 0x5a, 0x0e)));
  p.setBrush(QColor(0xd9, 0xa4, 0x36));
  p.drawPath(back);
  QPainterPath front;
  front.moveTo(1.5, 13.5);
  front.lineTo(4.5, 7.5);
  front.lineTo(15.0, 7.5);
  front.lineTo(12.5, 13.5);
  front.closeSubpath();
  p.setBrush(Vertical(7, 14, QColor(0xff, 0xe0, 0x8a), QColor(0xf2, 0xb8, 0x3c)));
  p.drawPath(front);
}

void Disk(QPainter& p) {
  QPainterPath body;
  body.moveTo(1.5, 2.5);
  body.lineTo(12.5, 2.5);
  body.lineTo(14.5, 4.5);
  body.lineTo(14.5, 14.5);
  body.lineTo(1.5, 14.5);
  body.closeSubpath();
  p.setPen(OutlinePen(QColor(0x1b, 0x33, 0x66)));
  p.setBrush(Vertical(2, 15, QColor(0x4f, 0x86, 0xd1), QColor(0x25, 0x55, 0xa8)));
  p.drawPath(body);
  // Metal shutter at the top and the white label at the bottom.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xd5, 0xdb, 0xe3));
  p.drawRect(QRectF(4, 3, 7, 4));
  p.setBrush(QColor(0x25, 0x55, 0xa8));
  p.drawRect(QRectF(8, 3.8, 2, 2.4));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(3.5, 9, 9, 5));
  p.setPen(OutlinePen(QColor(0x9a, 0xa8, 0xbc), 0.8));
  p.drawLine(QPointF(5, 11), QPointF(11, 11));
  p.drawLine(QPointF(5, 12.8), QPointF(11, 12.8));
}

void InformationSign(QPainter& p) {
  QRadialGradient ball(QPointF(6, 5), 10);
  ball.setColorAt(0, QColor(0x5b, 0xa3, 0xf5));
  ball.setColorAt(1, QColor(0x14, 0x58, 0xc0));
  p.setPen(OutlinePen(QColor(0x0d, 0x3b, 0x86)));
  p.setBrush(ball);
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(6.8, 3.3, 2.4, 2.4));
  p.drawRoundedRect(QRectF(6.9, 6.6, 2.2, 6.2), 0.6, 0.6);
}

void BlockDiagram(QPainter& p) {
  const QColor ink(0x02, 0x15, 0x84);
  p.setPen(OutlinePen(ink));
  p.setBrush(QColor(0xdc, 0xe4, 0xf7));
  p.drawRect(QRectF(0.5, 1.5, 5, 5));
  p.drawRect(QRectF(10.5, 1.5, 5, 5));
  // Forward arrow between the blocks and the feedback path below them.
  p.drawLine(QPointF(5.5, 4), QPointF(8, 4));
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawPolygon(QPolygonF({QPointF(10.5, 4), QPointF(7.5, 2), QPointF(7.5, 6)}));
  p.setPen(OutlinePen(ink));
  p.setBrush(Qt::NoBrush);
  QPainterPath feedback;
  feedback.moveTo(13, 6.5);
  feedback.lineTo(13, 13.5);
  feedback.lineTo(3, 13.5);
  feedback.lineTo(3, 10);
  p.drawPath(feedback);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  p.drawPolygon(QPolygonF({QPointF(3, 6.6), QPointF(1, 9.8), QPointF(5, 9.8)}));
}

// The loop mark: a step response with its overshoot settling on the set
// point, on a rounded blue tile. Drawn into the square `r`.
void LoopMark(QPainter& p, const QRectF& r) {
  const qreal u = r.width() / Grid;
  p.save();
  p.translate(r.topLeft());
  p.scale(u, u);
  p.setPen(OutlinePen(QColor(0x08, 0x24, 0x66), 0.8));
  p.setBrush(Vertical(0, 16, QColor(0x2e, 0x74, 0xd8), QColor(0x06, 0x2a, 0x8a)));
  p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3.2, 3.2);
  QPen sp(QColor(0xff, 0xb3, 0x3b), 1.1);
  sp.setCapStyle(Qt::FlatCap);
  p.setPen(sp);
  p.drawLine(QPointF(2.6, 6.2), QPointF(13.6, 6.2));
  QPainterPath response;
  response.moveTo(2.5, 13);
  response.cubicTo(4.6, 13, 4.8, 3.2, 7, 3.6);
  response.cubicTo(8.8, 4, 8.6, 7.6, 10.2, 7.2);
  response.cubicTo(11.4, 6.9, 11.8, 6.1, 13.5, 6.2);
  QPen curve(Qt::white, 1.6);
  curve.setCapStyle(Qt::RoundCap);
  curve.setJoinStyle(Qt::RoundJoin);
  p.setPen(curve);
  p.setBrush(Qt::NoBrush);
  p.drawPath(response);
  p.restore();
}

void Logo(QPainter& p) { LoopMark(p, QRectF(0, 0, 16, 16)); }

void Door(QPainter& p) {
  // Frame, the dark opening and the door swung outwards.
  p.setPen(OutlinePen(QColor(0x4a, 0x3a, 0x2a)));
  p.setBrush(QColor(0x3a, 0x2f, 0x28));
  p.drawRect(QRectF(4.5, 1.5, 8, 13));
  QPolygonF leaf({QPointF(4.5, 1.5), QPointF(9.5, 3.2), QPointF(9.5, 15.2), QPointF(4.5, 14.5)});
  p.setBrush(Vertical(1, 15, QColor(0xc9, 0x86, 0x4a), QColor(0x8f, 0x52, 0x22)));
  p.setPen(OutlinePen(QColor(0x5c, 0x34, 0x14)));
  p.drawPolygon(leaf);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xff, 0xd5, 0x4a));
  p.drawEllipse(QRectF(7.4, 8.2, 1.6, 1.6));
  // An arrow leaving through the door.
  QPen arrow(QColor(0x1f, 0x9d, 0x3a), 1.6);
  arrow.setCapStyle(Qt::RoundCap);
  p.setPen(arrow);
  p.drawLine(QPointF(10.8, 8.5), QPointF(14.4, 8.5));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1f, 0x9d, 0x3a));
  p.drawPolygon(QPolygonF({QPointF(16, 8.5), QPointF(13.2, 6), QPointF(13.2, 11)}));
}

void Plug(QPainter& p) {
  // A mains plug seen from the side, prongs up and right, cable down left.
  p.save();
  p.translate(8, 8);
  p.rotate(45);
  p.setPen(OutlinePen(QColor(0x6b, 0x55, 0x10)));
  p.setBrush(QColor(0xe8, 0xc2, 0x4a));
  p.drawRect(QRectF(-2.8, -8.0, 1.6, 4));
  p.drawRect(QRectF(1.2, -8.0, 1.6, 4));
  p.setPen(OutlinePen(QColor(0x22, 0x26, 0x2e)));
  p.setBrush(Vertical(-4, 3, QColor(0x6c, 0x75, 0x83), QColor(0x2c, 0x31, 0x3a)));
  QPainterPath body;
  body.moveTo(-4.5, -4.3);
  body.lineTo(4.5, -4.3);
  body.lineTo(4.5, -0.5);
  body.quadTo(4.5, 2.7, 1.5, 2.7);
  body.lineTo(-1.5, 2.7);
  body.quadTo(-4.5, 2.7, -4.5, -0.5);
  body.closeSubpath();
  p.drawPath(body);
  QPen cable(QColor(0x22, 0x26, 0x2e), 1.7);
  cable.setCapStyle(Qt::RoundCap);
  p.setPen(cable);
  p.drawLine(QPointF(0, 2.8), QPointF(0, 8.6));
  p.restore();
}

void Switch(QPainter& p, bool on) {
  const QColor track = on ? QColor(0x2c, 0xa8, 0x4a) : QColor(0x9a, 0xa1, 0xab);
  const QColor edge = on ? QColor(0x17, 0x6b, 0x2c) : QColor(0x5c, 0x63, 0x6e);
  p.setPen(OutlinePen(edge));
  p.setBrush(Vertical(4, 12, track.lighter(115), track.darker(108)));
  p.drawRoundedRect(QRectF(0.5, 4.5, 15, 7), 3.5, 3.5);
  QRadialGradient knob(QPointF(on ? 11 : 5, 6.5), 5);
  knob.setColorAt(0, Qt::white);
  knob.setColorAt(1, QColor(0xd6, 0xdb, 0xe2));
  p.setPen(OutlinePen(edge));
  p.setBrush(knob);
  p.drawEllipse(QRectF(on ? 8.5 : 1.5, 3.0, 6.5, 10));
  // The state mark on the free half of the track: a bar for on, a ring for off.
  p.setBrush(Qt::NoBrush);
  p.setPen(OutlinePen(on ? Qt::white : QColor(0x3d, 0x43, 0x4c), 1.2));
  if (on)
    p.drawLine(QPointF(4.5, 6.4), QPointF(4.5, 9.6));
  else
    p.drawEllipse(QRectF(10, 6.5, 3, 3));
}

const std::array<Painter, ToolbarImageCount>& Painters() {
  static const std::array<Painter, ToolbarImageCount> painters = {
      BlankPage, OpenFolder, Disk, InformationSign, BlockDiagram, Logo, Door, Plug,
      [](QPainter& p) { Switch(p, false); }, [](QPainter& p) { Switch(p, true); }};
  return painters;
}

// Draws `paint` (16x16 units) into a square pixmap of `side` logical pixels
// at `ratio` device pixels per logical pixel.
QPixmap Render(const Painter& paint, int side, qreal ratio) {
  QPixmap pixmap(qRound(side * ratio), qRound(side * ratio));
  pixmap.setDevicePixelRatio(ratio);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(side / Grid, side / Grid);
  paint(painter);
  return pixmap;
}

}  // namespace

QIcon ToolbarImage(int index) {
  if (index < 0 || index >= ToolbarImageCount) return {};
  QIcon icon;
  icon.addPixmap(Render(Painters()[index], 16, 1.0));
  icon.addPixmap(Render(Painters()[index], 16, 2.0));
  return icon;
}

QIcon ApplicationIcon() {
  QIcon icon;
  for (int side : {16, 32, 48, 64, 256}) icon.addPixmap(ProductLogo(QSize(side, side)));
  return icon;
}

QPixmap ProductLogo(QSize size) {
  QPixmap pixmap(size);
  pixmap.fill(Qt::transparent);
  if (size.isEmpty()) return pixmap;
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const qreal side = qMin(size.width(), size.height());
  LoopMark(painter, QRectF(0, (size.height() - side) / 2, side, side));
  const qreal textLeft = side * 1.15;
  const qreal textWidth = size.width() - textLeft;
  if (textWidth < side) return pixmap;  // too narrow for the name: mark only

  // The maker's name beside the mark, sized to fill the remaining width.
  QFont name("DejaVu Sans");
  name.setBold(true);
  name.setPixelSize(qMax(6, qRound(side * 0.36)));
  const QString word = QStringLiteral("QUORVANEX");
  while (name.pixelSize() > 6 && QFontMetricsF(name).horizontalAdvance(word) > textWidth)
    name.setPixelSize(name.pixelSize() - 1);
  QFont tag(name);
  tag.setBold(false);
  tag.setPixelSize(qMax(5, qRound(name.pixelSize() * 0.62)));
  const qreal nameHeight = QFontMetricsF(name).capHeight();
  const qreal top = (size.height() - side) / 2;
  const QRectF block(textLeft, top, textWidth, side);
  painter.setPen(QColor(0x06, 0x2a, 0x8a));
  painter.setFont(name);
  const qreal baseline = block.top() + side * 0.5;
  painter.drawText(QPointF(textLeft, baseline), word);
  painter.setPen(QColor(0x4a, 0x55, 0x68));
  painter.setFont(tag);
  painter.drawText(QPointF(textLeft + 1, baseline + nameHeight * 0.35 + QFontMetricsF(tag).ascent()),
                   QStringLiteral("loop simulation"));
  return pixmap;
}

}  // namespace qx

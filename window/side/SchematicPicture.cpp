#include "SchematicPicture.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QStringList>

#include <cmath>
#include <initializer_list>

namespace qx {
namespace {

const QColor Ink(0x02, 0x15, 0x84);
const QColor Paper(0xb8, 0xb8, 0xb8);
constexpr qreal JunctionRadius = 9.0;
constexpr qreal ArrowLength = 7.0;
constexpr qreal ArrowHalfWidth = 3.5;

// Rows of the diagram (centre lines).
constexpr qreal DisturbanceRow = 52;
constexpr qreal MainRow = 160;
constexpr qreal ModelRow = 228;
constexpr qreal SlaveFeedbackRow = 305;
constexpr qreal CascadeFeedbackRow = 352;

enum class Side { Left, Right, Top, Bottom };

struct Sign {
  Side side;
  QChar mark;
};

class Diagram {
 public:
  explicit Diagram(QPainter& painter) : p_(painter) {
    text_.setFamily(QStringLiteral("DejaVu Sans"));
    text_.setStyleHint(QFont::SansSerif);
    text_.setPixelSize(11);
    sign_ = text_;
    sign_.setBold(true);
    sign_.setPixelSize(11);
    p_.setRenderHint(QPainter::Antialiasing);
    p_.setRenderHint(QPainter::TextAntialiasing);
  }

  // A block with centred text ("\n" separates lines), sized to its text.
  QRectF Block(QPointF centre, const QString& text) {
    const QSizeF size = TextSize(text) + QSizeF(16, 10);
    const QRectF box(centre.x() - size.width() / 2, centre.y() - size.height() / 2, size.width(),
                     size.height());
    p_.setPen(QPen(Ink, 1.5));
    p_.setBrush(Qt::NoBrush);
    p_.drawRect(box);
    Text(box, Qt::AlignCenter, text);
    return box;
  }

  // A summing junction: a circle with a diagonal cross and the sign of each
  // input written beside the point where it enters.
  void Junction(QPointF c, std::initializer_list<Sign> signs) {
    p_.setPen(QPen(Ink, 1.5));
    p_.setBrush(Qt::NoBrush);
    p_.drawEllipse(c, JunctionRadius, JunctionRadius);
    const qreal d = JunctionRadius * std::sqrt(0.5);
    p_.drawLine(c + QPointF(-d, -d), c + QPointF(d, d));
    p_.drawLine(c + QPointF(-d, d), c + QPointF(d, -d));
    p_.setFont(sign_);
    for (const Sign& s : signs) {
      // Each sign sits beside its input line, on the side away from the
      // labels written above the main path.
      QPointF at = c;
      switch (s.side) {
        case Side::Left: at += QPointF(-15, 12); break;
        case Side::Right: at += QPointF(16, 11); break;
        case Side::Top: at += QPointF(-12, -16); break;
        case Side::Bottom: at += QPointF(12, 16); break;
      }
      p_.drawText(QRectF(at.x() - 6, at.y() - 7, 12, 14), Qt::AlignCenter, QString(s.mark));
    }
  }

  // A line through `points` ending in an arrowhead at the last point.
  void Wire(std::initializer_list<QPointF> points) {
    const QPolygonF line(points);
    p_.setPen(QPen(Ink, 1.3, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p_.setBrush(Qt::NoBrush);
    QPointF tip = line.last();
    const QPointF from = line[line.size() - 2];
    const QPointF along = (tip - from) / std::hypot(tip.x() - from.x(), tip.y() - from.y());
    QPolygonF shaft = line;
    shaft.last() = tip - along * (ArrowLength - 1);
    p_.drawPolyline(shaft);
    const QPointF across(-along.y(), along.x());
    const QPointF base = tip - along * ArrowLength;
    p_.setPen(Qt::NoPen);
    p_.setBrush(Ink);
    p_.drawPolygon(QPolygonF(
        {tip, base + across * ArrowHalfWidth, base - across * ArrowHalfWidth}));
  }

  // A branch point where a signal is taken off a line.
  void Tap(QPointF at) {
    p_.setPen(Qt::NoPen);
    p_.setBrush(Ink);
    p_.drawEllipse(at, 2.6, 2.6);
  }

  // Free text; `anchor` is placed according to `align` relative to the text.
  void Label(QPointF anchor, Qt::Alignment align, const QString& text) {
    const QSizeF size = TextSize(text);
    QPointF topLeft = anchor;
    if (align & Qt::AlignHCenter) topLeft.rx() -= size.width() / 2;
    if (align & Qt::AlignRight) topLeft.rx() -= size.width();
    if (align & Qt::AlignVCenter) topLeft.ry() -= size.height() / 2;
    if (align & Qt::AlignBottom) topLeft.ry() -= size.height();
    Text(QRectF(topLeft, size), Qt::AlignHCenter | Qt::AlignVCenter, text);
  }

 private:
  QSizeF TextSize(const QString& text) const {
    const QFontMetricsF metrics(text_);
    const QStringList lines = text.split(QLatin1Char('\n'));
    qreal width = 0;
    for (const QString& line : lines) width = std::max(width, metrics.horizontalAdvance(line));
    return {std::ceil(width), lines.size() * metrics.lineSpacing()};
  }

  void Text(const QRectF& box, Qt::Alignment align, const QString& text) {
    p_.setPen(Ink);
    p_.setFont(text_);
    p_.drawText(box, int(align), text);
  }

  QPainter& p_;
  QFont text_;
  QFont sign_;
};

QPointF At(qreal x, qreal y) { return {x, y}; }

}  // namespace

void PaintControlSchematic(QPainter& painter) {
  painter.save();
  painter.fillRect(QRect(QPoint(0, 0), SchematicPictureSize), Paper);
  Diagram d(painter);
  const qreal r = JunctionRadius;
  const QChar plus(u'+');
  const QChar minus(u'\u2212');

  // Main path: cascade set point to cascade PV.
  const QPointF cascadeSum(84, MainRow), slaveSum(235, MainRow), outputSum(357, MainRow),
      processSum(498, MainRow), noiseSum(672, MainRow);
  d.Label(At(6, MainRow - 4), Qt::AlignLeft | Qt::AlignBottom, "Cascade SP");
  d.Wire({At(4, MainRow), cascadeSum - At(r, 0)});
  d.Junction(cascadeSum, {{Side::Left, plus}, {Side::Bottom, minus}});
  const QRectF cascadePid = d.Block(At(140, MainRow), "Cascade\nPID");
  d.Wire({cascadeSum + At(r, 0), At(cascadePid.left(), MainRow)});
  d.Wire({At(cascadePid.right(), MainRow), slaveSum - At(r, 0)});
  d.Label(At((cascadePid.right() + slaveSum.x() - r) / 2, MainRow - 4), Qt::AlignHCenter | Qt::AlignBottom,
          "Slave SP");
  d.Junction(slaveSum, {{Side::Left, plus}, {Side::Bottom, minus}});
  const QRectF slavePid = d.Block(At(290, MainRow), "Slave\nPID");
  d.Wire({slaveSum + At(r, 0), At(slavePid.left(), MainRow)});
  const QPointF controllerTap(334, MainRow);
  d.Wire({At(slavePid.right(), MainRow), outputSum - At(r, 0)});
  d.Tap(controllerTap);
  d.Junction(outputSum, {{Side::Left, plus}, {Side::Top, plus}});
  const QRectF slaveProcess = d.Block(At(420, MainRow), "Slave\nTransfer\nFunction");
  d.Wire({outputSum + At(r, 0), At(slaveProcess.left(), MainRow)});
  d.Wire({At(slaveProcess.right(), MainRow), processSum - At(r, 0)});
  d.Junction(processSum, {{Side::Left, plus}, {Side::Top, plus}});
  const QPointF slavePvTap(562, MainRow);
  d.Label(At(535, MainRow - 4), Qt::AlignHCenter | Qt::AlignBottom, "Slave PV");
  const QRectF cascadeProcess = d.Block(At(612, MainRow), "Cascade\nTransfer\nFunction");
  d.Wire({processSum + At(r, 0), At(cascadeProcess.left(), MainRow)});
  d.Tap(slavePvTap);
  d.Wire({At(cascadeProcess.right(), MainRow), noiseSum - At(r, 0)});
  d.Junction(noiseSum, {{Side::Left, plus}, {Side::Bottom, plus}});
  d.Label(At(noiseSum.x(), 216), Qt::AlignHCenter | Qt::AlignTop, "Random\nNoise");
  d.Wire({At(noiseSum.x(), 214), noiseSum + At(0, r)});
  const QPointF cascadePvTap(716, MainRow);
  d.Wire({noiseSum + At(r, 0), At(744, MainRow)});
  d.Tap(cascadePvTap);
  d.Label(At(745, MainRow - 10), Qt::AlignRight | Qt::AlignBottom, "Cascade PV");

  // Disturbance path: the test signals feed the feedforward model directly
  // and, with noise added before and after it, the disturbance model.
  const QPointF signalTap(300, DisturbanceRow), inputNoiseSum(352, DisturbanceRow),
      outputNoiseSum(processSum.x(), DisturbanceRow);
  d.Label(At(222, DisturbanceRow), Qt::AlignHCenter | Qt::AlignVCenter, "Pulse\nRamp\nSine\nSignal");
  d.Wire({At(246, DisturbanceRow), inputNoiseSum - At(r, 0)});
  d.Tap(signalTap);
  const QRectF feedforward = d.Block(At(300, 104), "Feedforward\nTransfer\nFunction");
  d.Wire({signalTap, At(signalTap.x(), feedforward.top())});
  d.Wire({At(feedforward.right(), 104), At(outputSum.x(), 104), outputSum - At(0, r)});
  d.Junction(inputNoiseSum, {{Side::Left, plus}, {Side::Top, plus}});
  d.Label(At(inputNoiseSum.x(), 6), Qt::AlignHCenter | Qt::AlignTop, "Random Noise");
  d.Wire({At(inputNoiseSum.x(), 21), inputNoiseSum - At(0, r)});
  const QRectF disturbance = d.Block(At(425, DisturbanceRow), "Disturbance\nTransfer\nFunction");
  d.Wire({inputNoiseSum + At(r, 0), At(disturbance.left(), DisturbanceRow)});
  d.Wire({At(disturbance.right(), DisturbanceRow), outputNoiseSum - At(r, 0)});
  d.Junction(outputNoiseSum, {{Side::Left, plus}, {Side::Top, plus}});
  d.Label(At(outputNoiseSum.x(), 6), Qt::AlignHCenter | Qt::AlignTop, "Random Noise");
  d.Wire({At(outputNoiseSum.x(), 21), outputNoiseSum - At(0, r)});
  d.Wire({outputNoiseSum + At(0, r), processSum - At(0, r)});

  // Slave measurement: PV delay and filter, then the model-based correction:
  // (filtered PV - delayed model) + model is what the slave junction sees.
  const QRectF slaveDelay = d.Block(At(slavePvTap.x(), 205), "PV delay");
  const QRectF slaveFilter = d.Block(At(slavePvTap.x(), 255), "Filter");
  d.Wire({slavePvTap, At(slavePvTap.x(), slaveDelay.top())});
  d.Wire({At(slavePvTap.x(), slaveDelay.bottom()), At(slavePvTap.x(), slaveFilter.top())});
  const QPointF delayedModelSum(515, SlaveFeedbackRow), modelSum(432, SlaveFeedbackRow);
  d.Wire({At(slavePvTap.x(), slaveFilter.bottom()), At(slavePvTap.x(), SlaveFeedbackRow),
          delayedModelSum + At(r, 0)});
  const QRectF internalModel = d.Block(At(385, ModelRow), "Internal\nModel");
  d.Wire({controllerTap, At(controllerTap.x(), ModelRow), At(internalModel.left(), ModelRow)});
  const QPointF modelTap(modelSum.x(), ModelRow);
  const QRectF modelDelay = d.Block(At(477, ModelRow), "Model\nDelay");
  d.Wire({At(internalModel.right(), ModelRow), At(modelDelay.left(), ModelRow)});
  d.Tap(modelTap);
  d.Wire({At(modelDelay.right(), ModelRow), At(delayedModelSum.x(), ModelRow),
          delayedModelSum - At(0, r)});
  d.Junction(delayedModelSum, {{Side::Right, plus}, {Side::Top, minus}});
  d.Wire({modelTap, modelSum - At(0, r)});
  d.Wire({delayedModelSum - At(r, 0), modelSum + At(r, 0)});
  d.Junction(modelSum, {{Side::Right, plus}, {Side::Top, plus}});
  d.Wire({modelSum - At(r, 0), At(slaveSum.x(), SlaveFeedbackRow), slaveSum + At(0, r)});

  // Cascade measurement: PV delay and filter back to the first junction.
  const QRectF cascadeDelay = d.Block(At(640, CascadeFeedbackRow), "PV delay");
  const QRectF cascadeFilter = d.Block(At(530, CascadeFeedbackRow), "Filter");
  d.Wire({cascadePvTap, At(cascadePvTap.x(), CascadeFeedbackRow),
          At(cascadeDelay.right(), CascadeFeedbackRow)});
  d.Wire({At(cascadeDelay.left(), CascadeFeedbackRow), At(cascadeFilter.right(), CascadeFeedbackRow)});
  d.Wire({At(cascadeFilter.left(), CascadeFeedbackRow), At(cascadeSum.x(), CascadeFeedbackRow),
          cascadeSum + At(0, r)});
  painter.restore();
}

}  // namespace qx

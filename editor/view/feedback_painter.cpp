#include "editor/view/feedback_painter.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

#include "editing/selection.h"
#include "model/score.h"
#include "model/structure.h"
#include "platform/qt_device_context.h"

namespace {

QPointF Q(ScorePoint p) { return QPointF(p.X, p.Y); }

// The curve through three points: start, end and a point it passes in between.
QPainterPath SlurPath(ScorePoint a, ScorePoint b, ScorePoint m) {
  // The control point that makes the quadratic pass through m at t = 0.5.
  const QPointF c = 2 * Q(m) - (Q(a) + Q(b)) / 2;
  QPainterPath path(Q(a));
  path.quadTo(c, Q(b));
  return path;
}

}  // namespace

void PaintFeedback(QPainter& painter, const CScore& score, const Feedback& f) {
  if (f.Shape == Feedback::Kind::None || f.Points.empty()) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, true);
  QPen pen(QColor(0, 96, 192));
  pen.setCosmetic(true);
  pen.setStyle(Qt::DashLine);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const ScorePoint a = f.Points.front(), b = f.Points.back();
  switch (f.Shape) {
    case Feedback::Kind::Rect:
    case Feedback::Kind::Band:
      if (f.Shape == Feedback::Kind::Band) painter.setBrush(QColor(0, 96, 192, 24));
      painter.drawRect(QRectF(Q(a), Q(b)).normalized());
      break;
    case Feedback::Kind::HLine: painter.drawLine(QPointF(a.X, a.Y), QPointF(b.X, a.Y)); break;
    case Feedback::Kind::Segment:
      for (size_t i = 1; i < f.Points.size(); ++i) painter.drawLine(Q(f.Points[i - 1]), Q(f.Points[i]));
      break;
    case Feedback::Kind::Slur: painter.drawPath(SlurPath(f.Points[0], f.Points[1], f.Points[2])); break;
    case Feedback::Kind::Move:
    case Feedback::Kind::Resize: {
      QtDeviceContext dc(painter, Rect{-100000, -100000, 100000, 100000});
      if (f.Shape == Feedback::Kind::Move)
        DrawSelectionMove(dc, score, f.Dx, f.Dy);
      else
        DrawSelectionResize(dc, score, f.Dx, f.Dy);
      break;
    }
    case Feedback::Kind::None: break;
  }
  painter.restore();
}

void PaintInsertionGuides(QPainter& painter, const CScore& score) {
  const CStave* stave = score.CurrentStave;
  const CMeasure* measure = score.CurrentMeasure;
  if (!stave || !measure) return;
  const QRectF box(QPointF(measure->Left, stave->Top - 2), QPointF(measure->Right, stave->Bottom + 2));
  painter.fillRect(box, QColor(0, 120, 215, 28));
  QPen pen(QColor(0, 120, 215, 110));
  pen.setCosmetic(true);
  painter.setPen(pen);
  painter.drawLine(box.topLeft(), box.bottomLeft());
  painter.drawLine(box.topRight(), box.bottomRight());
}

void PaintCaret(QPainter& painter, ScorePoint caret, bool wide) {
  painter.fillRect(QRectF(caret.X, caret.Y, wide ? 4 : 2, 32), wide ? QColor(128, 128, 128) : QColor(0, 0, 0));
}

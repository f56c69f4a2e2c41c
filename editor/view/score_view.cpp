#include "editor/view/score_view.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

#include "editing/command_table.h"
#include "editor/app/score_document.h"
#include "editor/view/feedback_painter.h"
#include "editor/view/tools/key_controller.h"
#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"
#include "platform/score_image.h"

CScoreEditView::CScoreEditView(CScoreEditDoc& doc, QWidget* parent)
    : QAbstractScrollArea(parent),
      doc_(doc),
      ctrl_(doc.Score()),
      cache_([this](const QRect& r) { return Render(r.size(), r.topLeft()); }) {
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setCursor(Qt::CrossCursor);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  horizontalScrollBar()->setSingleStep(32);
  verticalScrollBar()->setSingleStep(32);
  autoScroll_.setInterval(100);
  connect(&autoScroll_, &QTimer::timeout, this, &CScoreEditView::AutoScroll);
  connect(&doc_, &CScoreEditDoc::Changed, this, [this] {
    ++changes_;
    cache_.Invalidate();
    UpdateScrollSizes();
    viewport()->update();
  });
  UpdateScrollSizes();
}

QSize CScoreEditView::ScrollSize() const {
  // The wider of content and page plus 100; the pages the content needs plus
  // 50 — in 64 bits and bounded, so a far-off object cannot overflow it.
  CScore& score = const_cast<CScore&>(doc_.Score());
  score.ComputeExtent();
  return ScoreViewSize(score);
}

void CScoreEditView::UpdateScrollSizes() {
  const QSize size = ScrollSize() * zoom_;
  const QSize view = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, size.width() - view.width()));
  verticalScrollBar()->setRange(0, std::max(0, size.height() - view.height()));
  horizontalScrollBar()->setPageStep(view.width());
  verticalScrollBar()->setPageStep(view.height());
}

QPoint CScoreEditView::Scroll() const { return {horizontalScrollBar()->value(), verticalScrollBar()->value()}; }

ScorePoint CScoreEditView::ToScore(QPointF pos) const {
  const QPointF p = (pos + Scroll()) / zoom_;
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

QPoint CScoreEditView::ToViewport(ScorePoint p) const {
  return QPointF(p.X * zoom_, p.Y * zoom_).toPoint() - Scroll();
}

QImage CScoreEditView::Render(QSize size, QPoint scroll) const {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.translate(-scroll.x(), -scroll.y());
  painter.scale(zoom_, zoom_);
  // Page background and score, only what the window shows.
  const int left = static_cast<int>(scroll.x() / zoom_), top = static_cast<int>(scroll.y() / zoom_);
  const GridDisplay& grid = ctrl_.grid;
  PaintScoreView(painter, doc_.Score(),
                 QRect(left, top, static_cast<int>(size.width() / zoom_) + 1, static_cast<int>(size.height() / zoom_) + 1),
                 grid.Show ? QSize(grid.StepX, grid.StepY) : QSize());
  return image;
}

void CScoreEditView::paintEvent(QPaintEvent*) {
  // The score comes from the cached image; gesture feedback and the caret
  // paint over it. The screens around the view are drawn when idle.
  const QRect view(Scroll(), viewport()->size());
  QPainter painter(viewport());
  cache_.Paint(painter, view);
  if (!prefetchQueued_ && cache_.WantsPrefetch(view)) {
    prefetchQueued_ = true;
    QTimer::singleShot(0, this, [this] {
      prefetchQueued_ = false;
      cache_.Prefetch(QRect(Scroll(), viewport()->size()));
    });
  }
  painter.translate(-Scroll());
  painter.scale(zoom_, zoom_);
  if (ctrl_.Tool() != 0) PaintInsertionGuides(painter, doc_.Score());
  PaintFeedback(painter, doc_.Score(), feedback_);
  if (hasFocus()) PaintCaret(painter, {doc_.CaretX(), doc_.CaretY()}, ctrl_.Moving());
  QTimer::singleShot(0, &doc_, &CScoreEditDoc::EnsureFirstSnapshot);
}

void CScoreEditView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollSizes();
}

void CScoreEditView::scrollContentsBy(int, int) { viewport()->update(); }

void CScoreEditView::SetTool(int tool) {
  if (ctrl_.ChooseTool(tool)) emit doc_.Changed();
  feedback_ = {};
  viewport()->update();
  emit StateChanged();
}

void CScoreEditView::SetSelectionMode(int mode) {
  if (!ctrl_.SetMode(mode)) return;
  emit doc_.Changed();
  viewport()->update();
  emit StateChanged();
}

void CScoreEditView::SetGrid(bool snap, const GridDisplay& grid) {
  ctrl_.snap = snap;
  ctrl_.grid = grid;
  cache_.Invalidate();
  viewport()->update();
}

void CScoreEditView::ScrollToEnd() {
  UpdateScrollSizes();
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CScoreEditView::SetZoom(double zoom, QPoint anchor) {
  zoom = std::clamp(zoom, 0.25, 8.0);
  if (zoom == zoom_) return;
  const QPointF fixed = (QPointF(anchor) + Scroll()) / zoom_;
  zoom_ = zoom;
  cache_.Invalidate();
  UpdateScrollSizes();
  const QPointF scroll = fixed * zoom_ - QPointF(anchor);
  horizontalScrollBar()->setValue(static_cast<int>(std::lround(scroll.x())));
  verticalScrollBar()->setValue(static_cast<int>(std::lround(scroll.y())));
  viewport()->update();
  emit StateChanged();
}

void CScoreEditView::Apply(const ToolOutput& out) {
  if (out.Change && !doc_.RunEdit(out.Change) && out.Change.BeepIfRefused) QApplication::beep();
  if (out.SelectionChanged) {
    cache_.Invalidate();
    emit SelectionChanged();
    emit doc_.Changed();
  }
  if (out.Repaint) viewport()->update();
}

void CScoreEditView::MoveCaret(ScorePoint p) {
  ScorePoint caret;
  if (CaretAt(doc_.Score(), p, &caret)) doc_.SetCaret(caret.X, caret.Y);
}

void CScoreEditView::contextMenuEvent(QContextMenuEvent* event) {
  // The menu opens on the right button's release, when nothing was cancelled;
  // the keyboard's menu key opens it at once.
  if (event->reason() == QContextMenuEvent::Keyboard && contextMenu_) contextMenu_->popup(event->globalPos());
}

void CScoreEditView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  setFocus(Qt::MouseFocusReason);
  const ScorePoint raw = ToScore(event->position());
  const Modifiers mods{(event->modifiers() & Qt::ShiftModifier) != 0, (event->modifiers() & Qt::ControlModifier) != 0};
  const ToolOutput out = ctrl_.Press(raw, mods);
  feedback_ = out.Figure;
  // The scroll sizes follow every change of the document; measuring the
  // score again costs a walk over all its objects, so only when none came.
  const uint64_t changes = changes_;
  Apply(out);
  if (changes_ == changes) UpdateScrollSizes();
  MoveCaret(ctrl_.Snap(raw));
  if (ctrl_.Busy()) autoScroll_.start();
  viewport()->update();
}

void CScoreEditView::mouseMoveEvent(QMouseEvent* event) {
  if (ctrl_.Tool() == 0 && !ctrl_.Busy()) return;
  feedback_ = ctrl_.Move(ToScore(event->position()));
  viewport()->update();
}

void CScoreEditView::mouseReleaseEvent(QMouseEvent* event) {
  const ScorePoint raw = ToScore(event->position());
  if (event->button() == Qt::RightButton) {
    const ToolOutput out = ctrl_.RightUp();
    feedback_ = {};
    Apply(out);
    emit StateChanged();
    if (out.OpenMenu && contextMenu_) contextMenu_->popup(event->globalPosition().toPoint());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  const bool moving = ctrl_.Moving();
  const ToolOutput out = ctrl_.Release(raw, {(event->modifiers() & Qt::ShiftModifier) != 0, false});
  if (!ctrl_.Busy()) feedback_ = {};
  Apply(out);
  if (moving) MoveCaret(ctrl_.Snap(raw));
  viewport()->update();
}

void CScoreEditView::wheelEvent(QWheelEvent* event) {
  if (!(event->modifiers() & Qt::ControlModifier)) return QAbstractScrollArea::wheelEvent(event);
  const int steps = event->angleDelta().y() / 120;
  if (steps) SetZoom(zoom_ * std::pow(1.25, steps), event->position().toPoint());
}

void CScoreEditView::keyPressEvent(QKeyEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  const QPoint centre(viewport()->width() / 2, viewport()->height() / 2);
  if (ctrl && (event->key() == Qt::Key_Plus || event->key() == Qt::Key_Equal)) return SetZoom(zoom_ * 1.25, centre);
  if (ctrl && event->key() == Qt::Key_Minus) return SetZoom(zoom_ / 1.25, centre);
  ViewKey key = ViewKey::Other;
  switch (event->key()) {
    case Qt::Key_Up: key = ViewKey::Up; break;
    case Qt::Key_Down: key = ViewKey::Down; break;
    case Qt::Key_Left: key = ViewKey::Left; break;
    case Qt::Key_Right: key = ViewKey::Right; break;
    case Qt::Key_A: key = ViewKey::A; break;
    case Qt::Key_D: key = ViewKey::D; break;
    default: break;
  }
  // With nothing selected the keys keep their usual meaning (arrows scroll).
  const Edit edit = ctrl ? Edit{} : KeyEdit(key, ctrl_.Mode());
  if (!edit || doc_.Score().SelectedCount == 0) return QAbstractScrollArea::keyPressEvent(event);
  doc_.RunEdit(edit);
}

void CScoreEditView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void CScoreEditView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

void CScoreEditView::AutoScroll() {
  if (!ctrl_.Busy()) return autoScroll_.stop();
  const QPoint cursor = viewport()->mapFromGlobal(QCursor::pos());
  // Edges of 20 units and steps of 32 units, in pixels at the current zoom.
  const ScorePoint step = AutoScrollStep(static_cast<int>(cursor.x() / zoom_), static_cast<int>(cursor.y() / zoom_),
                                         static_cast<int>(viewport()->width() / zoom_),
                                         static_cast<int>(viewport()->height() / zoom_));
  if (!step.X && !step.Y) return;
  horizontalScrollBar()->setValue(horizontalScrollBar()->value() + static_cast<int>(step.X * zoom_));
  verticalScrollBar()->setValue(verticalScrollBar()->value() + static_cast<int>(step.Y * zoom_));
  viewport()->update();
}

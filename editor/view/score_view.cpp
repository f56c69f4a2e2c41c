#include "editor/view/score_view.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "editing/command_table.h"
#include "editor/app/score_document.h"
#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"

CScoreEditView::CScoreEditView(CScoreEditDoc& doc, QWidget* parent) : QAbstractScrollArea(parent), doc_(doc) {
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setBackgroundRole(QPalette::Base);
  horizontalScrollBar()->setSingleStep(32);
  verticalScrollBar()->setSingleStep(32);
  connect(&doc_, &CScoreEditDoc::Changed, this, [this] {
    UpdateScrollSizes();
    viewport()->update();
  });
  UpdateScrollSizes();
}

QSize CScoreEditView::ScrollSize() const {
  CScore& score = const_cast<CScore&>(doc_.Score());
  score.ComputeExtent();
  const int paperHeight = std::max(1, score.PaperHeight);
  const int pages = (score.ExtentHeight + paperHeight - 1) / paperHeight;
  return {std::max(score.ExtentWidth, score.PaperWidth) + 100, paperHeight * std::max(1, pages) + 50};
}

void CScoreEditView::UpdateScrollSizes() {
  const QSize size = ScrollSize();
  const QSize view = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, size.width() - view.width()));
  verticalScrollBar()->setRange(0, std::max(0, size.height() - view.height()));
  horizontalScrollBar()->setPageStep(view.width());
  verticalScrollBar()->setPageStep(view.height());
}

QImage CScoreEditView::Render(QSize size, QPoint scroll) const {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.translate(-scroll.x(), -scroll.y());
  const CScore& score = doc_.Score();
  // Page background: the paper's right edge and the page breaks.
  painter.setPen(QColor(0xD0, 0xD0, 0xD0));
  const QSize total = ScrollSize();
  painter.drawLine(score.PaperWidth, 0, score.PaperWidth, total.height());
  for (int y = score.PaperHeight; score.PaperHeight > 0 && y < total.height(); y += score.PaperHeight)
    painter.drawLine(0, y, total.width(), y);
  const Rect clip{scroll.x(), scroll.y(), scroll.x() + size.width(), scroll.y() + size.height()};
  QtDeviceContext dc(painter, clip);
  DrawScore(dc, score);
  return image;
}

void CScoreEditView::paintEvent(QPaintEvent*) {
  // Drawn into a memory image first, then copied: no flicker while scrolling.
  const QImage image = Render(viewport()->size(), {horizontalScrollBar()->value(), verticalScrollBar()->value()});
  QPainter painter(viewport());
  painter.drawImage(0, 0, image);
  QTimer::singleShot(0, &doc_, &CScoreEditDoc::EnsureFirstSnapshot);
}

void CScoreEditView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollSizes();
}

void CScoreEditView::scrollContentsBy(int, int) { viewport()->update(); }

void CScoreEditView::SetSelectionMode(int mode) {
  if (mode == mode_) return;
  mode_ = mode;
  if (ClearSelection(doc_.Score())) emit doc_.Changed();
  viewport()->update();
  emit StateChanged();
}

void CScoreEditView::ScrollToEnd() {
  UpdateScrollSizes();
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CScoreEditView::contextMenuEvent(QContextMenuEvent* event) {
  if (contextMenu_) contextMenu_->popup(event->globalPos());
}

#include "editor/view/form_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "common/gbk.h"
#include "model/page_objects.h"
#include "model/score.h"
#include "model/score_open.h"
#include "platform/score_image.h"

CKRScoreView::CKRScoreView(QWidget* parent)
    : QAbstractScrollArea(parent), score_(std::make_unique<CScore>()), cache_([this](const QRect& r) {
        QImage image(r.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(-r.topLeft());
        PaintScoreView(painter, *score_, r);
        return image;
      }) {
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  horizontalScrollBar()->setSingleStep(32);
  verticalScrollBar()->setSingleStep(32);
}

CKRScoreView::~CKRScoreView() = default;

bool CKRScoreView::LoadForm(const std::string& path, std::string* error) {
  hovered_ = nullptr;
  auto loaded = std::make_unique<CScore>();
  const bool ok = OpenScoreFile(*loaded, path, error);
  score_ = ok ? std::move(loaded) : std::make_unique<CScore>();
  path_ = path;
  score_->ComputeExtent();
  cache_.Invalidate();
  UpdateScrollSizes();
  viewport()->update();
  return ok;
}

QSize CKRScoreView::FormSize() const { return ScoreViewSize(*score_); }

std::string CKRScoreView::CommandOf(const CStaveObject& o) {
  if (o.GetKind() == Kind::Link) return static_cast<const CXLink&>(o).href;
  if (o.GetKind() == Kind::Image) return static_cast<const CXImage&>(o).title;
  return {};
}

QPoint CKRScoreView::Scroll() const { return {horizontalScrollBar()->value(), verticalScrollBar()->value()}; }

void CKRScoreView::UpdateScrollSizes() {
  const QSize size = FormSize(), view = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, size.width() - view.width()));
  verticalScrollBar()->setRange(0, std::max(0, size.height() - view.height()));
  horizontalScrollBar()->setPageStep(view.width());
  verticalScrollBar()->setPageStep(view.height());
}

void CKRScoreView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  cache_.Paint(painter, QRect(Scroll(), viewport()->size()));
}

void CKRScoreView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollSizes();
}

void CKRScoreView::scrollContentsBy(int, int) { viewport()->update(); }

namespace {
// A link, or an image with a command, whose box holds the point.
const CStaveObject* ActiveObjectAt(const CXObject& owned, QPoint p) {
  const char kind = owned.GetKind();
  if (kind != Kind::Link && kind != Kind::Image) return nullptr;
  const auto* o = static_cast<const CStaveObject*>(&owned);
  if (kind == Kind::Image && CKRScoreView::CommandOf(*o).empty()) return nullptr;  // inert
  return p.x() >= o->Left && p.x() <= o->Right && p.y() >= o->Top && p.y() <= o->Bottom ? o : nullptr;
}
}  // namespace

const CStaveObject* CKRScoreView::ActiveAt(QPoint p) const {
  for (const auto& owned : score_->Objects())
    if (const CStaveObject* o = ActiveObjectAt(*owned, p)) return o;
  return nullptr;
}

void CKRScoreView::SetHovered(const CStaveObject* o) {
  if (o == hovered_) return;
  // The hovered object is drawn framed; the form is drawn again for each change.
  if (hovered_) const_cast<CStaveObject*>(hovered_)->Style &= ~STYLE_FRAMED;
  hovered_ = o;
  if (hovered_) const_cast<CStaveObject*>(hovered_)->Style |= STYLE_FRAMED;
  viewport()->setCursor(hovered_ ? Qt::PointingHandCursor : Qt::ArrowCursor);
  cache_.Invalidate();
  viewport()->update();
}

void CKRScoreView::mouseMoveEvent(QMouseEvent* event) { SetHovered(ActiveAt(event->position().toPoint() + Scroll())); }

void CKRScoreView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint p = event->position().toPoint() + Scroll();
  // Every active object under the point is reported, in score order.
  for (const auto& owned : score_->Objects())
    if (const CStaveObject* o = ActiveObjectAt(*owned, p))
      emit Clicked(o, QString::fromStdString(qx::GbkToUtf8Lossy(CommandOf(*o))));
}

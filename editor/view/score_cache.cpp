#include "editor/view/score_cache.h"

#include <QPainter>
#include <algorithm>

bool ScoreImageCache::Paint(QPainter& painter, const QRect& view) {
  if (!image_.isNull() && rect_.contains(view)) {
    painter.drawImage(QPoint(0, 0), image_, view.translated(-rect_.topLeft()));
    return true;
  }
  image_ = render_(view);
  rect_ = view;
  painter.drawImage(0, 0, image_);
  return false;
}

bool ScoreImageCache::WantsPrefetch(const QRect& view) const {
  QRect wanted = view.adjusted(0, -view.height() / 2, 0, view.height() / 2);
  wanted.setTop(std::max(0, wanted.top()));
  return image_.isNull() || !rect_.contains(wanted);
}

void ScoreImageCache::Prefetch(const QRect& view) {
  const int top = std::max(0, view.top() - view.height());
  const QRect band(view.left(), top, view.width(), view.bottom() + view.height() - top + 1);
  image_ = render_(band);
  rect_ = band;
}

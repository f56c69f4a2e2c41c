// The drawn score kept as an image a few screens tall around the visible part,
// so that scrolling and gesture feedback copy pixels instead of drawing the
// score again. Rects are in view pixels of the whole zoomed score.
#pragma once

#include <QImage>
#include <QRect>
#include <functional>

class QPainter;

class ScoreImageCache {
 public:
  // Draws the zoomed score's pixels of a rect into a new image.
  using Renderer = std::function<QImage(const QRect&)>;
  explicit ScoreImageCache(Renderer render) : render_(std::move(render)) {}

  void Invalidate() { image_ = {}; }
  // Paints `view` at the painter's origin: copied when the cache holds it,
  // else drawn (and kept as the cache). True when it was copied.
  bool Paint(QPainter& painter, const QRect& view);
  // Whether the screens above and below the view are not held yet.
  bool WantsPrefetch(const QRect& view) const;
  // Draws the view and a screen above and below it into the cache.
  void Prefetch(const QRect& view);

 private:
  Renderer render_;
  QImage image_;
  QRect rect_;
};

// A score opened as the editor opens one, then drawn by the image export:
// through the Qt device context into a small view round one of its objects,
// and as the whole PNG page when that is of a bounded size. Far-off geometry
// must be clipped, never crash the painter or run for long.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "model/score.h"
#include "model/score_open.h"
#include "platform/score_image.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "fuzz_image_export";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CScore score;
  if (!OpenScoreBytes(score, data, size)) return 0;
  QImage view(200, 150, QImage::Format_RGB32);
  view.fill(Qt::white);
  QPoint origin(0, 0);
  if (score.ObjectCount() > 0) {
    const CXObject& at = *score.Objects()[size % score.ObjectCount()];
    origin = {at.Left - 100, at.Top - 75};
  }
  {
    QPainter painter(&view);
    painter.translate(-origin.x(), -origin.y());
    PaintScoreView(painter, score, QRect(origin, view.size()));
  }
  const QSize extent = ScoreViewSize(score);
  if (extent.width() <= 0 || extent.height() <= 0) std::abort();
  // The whole page, when small: the export's own strips and encoder.
  score.ComputeExtent();
  if (int64_t(score.ExtentWidth + 50) * (score.ExtentHeight + 50) <= 600 * 1000 &&
      ScoreImageSizeProblem(score, false).empty()) {
    const QImage page = RenderScoreImage(score);
    if (page.isNull() || EncodePng(page).empty()) std::abort();
  }
  return 0;
}

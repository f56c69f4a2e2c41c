#include "platform/score_pdf.h"

#include <QBuffer>
#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "common/file_util.h"
#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"

namespace {
constexpr double kScreenDpi = 96.0;
// More pages than any printed score has; a damaged file's far-off object
// would otherwise ask for millions.
constexpr int kMaxPages = 10000;
}

int ScorePageCount(const CScore& score) {
  CScore& s = const_cast<CScore&>(score);
  s.ComputeExtent();
  const int64_t pages = int64_t(std::max(0, s.ExtentHeight)) / std::max(1, s.PaperHeight) + 1;
  return int(std::min<int64_t>(pages, kMaxPages + 1));
}

void DrawScorePage(QPainter& painter, const CScore& score, int page, double dpi) {
  const int64_t top64 = int64_t(page) * std::max(1, score.PaperHeight);
  if (top64 > INT32_MAX - int64_t(std::max(1, score.PaperHeight))) return;
  const int top = int(top64);
  painter.save();
  painter.scale(dpi / kScreenDpi, dpi / kScreenDpi);
  painter.translate(0, -top);
  // The strip of this page only: objects of the next page stay off it.
  painter.setClipRect(QRect(0, top, std::max(score.PaperWidth, score.ExtentWidth), score.PaperHeight));
  QtDeviceContext dc(painter, Rect{0, top, std::max(score.PaperWidth, score.ExtentWidth), top + score.PaperHeight});
  DrawScore(dc, score);
  painter.restore();
}

bool PrintScorePages(QPagedPaintDevice& device, const CScore& score) {
  const int pages = ScorePageCount(score);
  if (pages > kMaxPages) return false;
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const double dpi = device.logicalDpiY();
  for (int page = 0; page < pages; ++page) {
    if (page > 0) device.newPage();
    DrawScorePage(painter, score, page, dpi);
  }
  return painter.end();
}

bool SaveScorePdf(const CScore& score, const std::string& path, std::string* error) {
  if (ScorePageCount(score) > kMaxPages) {
    if (error)
      *error = "乐谱超过 " + std::to_string(kMaxPages) + " 页，不能打印 (the score runs past " +
               std::to_string(kMaxPages) + " pages)";
    return false;
  }
  if (score.PaperWidth < 1 || score.PaperHeight < 1) {
    if (error) *error = "纸张大小无效 (the paper size is not valid)";
    return false;
  }
  // Written whole in memory, then put in place the way every save is: the
  // previous file stays until the new one is complete.
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&bytes);
    writer.setCreator("Quavix");
    writer.setResolution(600);
    // The page is the score's paper, in points (72 per inch).
    const QSizeF points(score.PaperWidth * 72.0 / kScreenDpi, score.PaperHeight * 72.0 / kScreenDpi);
    writer.setPageSize(QPageSize(points, QPageSize::Point, "score", QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    if (!PrintScorePages(writer, score)) {
      if (error) *error = "cannot draw the PDF";
      return false;
    }
  }
  const QByteArray& data = bytes.data();
  return qx::WriteFileAtomically(path, std::string_view(data.constData(), size_t(data.size())), error);
}

#include "platform/score_pdf.h"

#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>

#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"

namespace {
constexpr double kScreenDpi = 96.0;
}

int ScorePageCount(const CScore& score) {
  CScore& s = const_cast<CScore&>(score);
  s.ComputeExtent();
  return s.ExtentHeight / std::max(1, s.PaperHeight) + 1;
}

void DrawScorePage(QPainter& painter, const CScore& score, int page, double dpi) {
  const int top = page * std::max(1, score.PaperHeight);
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
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const int pages = ScorePageCount(score);
  const double dpi = device.logicalDpiY();
  for (int page = 0; page < pages; ++page) {
    if (page > 0) device.newPage();
    DrawScorePage(painter, score, page, dpi);
  }
  return painter.end();
}

bool SaveScorePdf(const CScore& score, const std::string& path, std::string* error) {
  const QString target = QString::fromStdString(path);
  const QString partial = target + ".part";
  {
    QPdfWriter writer(partial);
    writer.setCreator("Quavix");
    writer.setResolution(600);
    // The page is the score's paper, in points (72 per inch).
    const QSizeF points(score.PaperWidth * 72.0 / kScreenDpi, score.PaperHeight * 72.0 / kScreenDpi);
    writer.setPageSize(QPageSize(points, QPageSize::Point, "score", QPageSize::ExactMatch));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    if (!PrintScorePages(writer, score)) {
      if (error) *error = "cannot draw the PDF";
      QFile::remove(partial);
      return false;
    }
  }
  QFile::remove(target);
  if (!QFile::rename(partial, target)) {
    if (error) *error = "cannot write the file";
    QFile::remove(partial);
    return false;
  }
  return true;
}

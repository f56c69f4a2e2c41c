#include "platform/score_image.h"

#include <QBuffer>
#include <QByteArray>

#include "common/file_util.h"
#include "common/paths.h"
#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"

QImage RenderScoreImage(const CScore& score) {
  CScore& mutableScore = const_cast<CScore&>(score);
  mutableScore.ComputeExtent();
  const int width = score.ExtentWidth + 50, height = score.ExtentHeight + 50;
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  QtDeviceContext dc(painter, {0, 0, width, height});
  dc.SetPen({PenSolid, 1, 0});
  dc.FrameRect({0, 0, width, height});
  DrawScore(dc, score);
  painter.end();
  return image;
}

namespace {
void Put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}
}  // namespace

std::string EncodeBmp24(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  const int w = image.width(), h = image.height();
  const uint32_t rowBytes = (uint32_t(w) * 3 + 3) & ~3u;
  const uint32_t pixels = rowBytes * uint32_t(h);
  std::string out;
  out.reserve(54 + pixels);
  out += "BM";
  Put32(out, 54 + pixels);
  Put16(out, 0);
  Put16(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, uint32_t(w));
  Put32(out, uint32_t(h));
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);  // no compression
  Put32(out, pixels);
  Put32(out, 3780);  // 96 dpi in pixels per metre
  Put32(out, 3780);
  Put32(out, 0);
  Put32(out, 0);
  // Rows bottom-up, blue, green, red, each padded to four bytes.
  for (int y = h - 1; y >= 0; --y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    size_t start = out.size();
    for (int x = 0; x < w; ++x) {
      out += char(qBlue(line[x]));
      out += char(qGreen(line[x]));
      out += char(qRed(line[x]));
    }
    out.append(rowBytes - (out.size() - start), '\0');
  }
  return out;
}

bool SaveScoreImage(const CScore& score, const std::string& path, std::string* error) {
  const QImage image = RenderScoreImage(score);
  const std::string ext = qx::FileExtensionLower(path);
  std::string bytes;
  if (ext == ".bmp") {
    bytes = EncodeBmp24(image);
  } else if (ext == ".png") {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    // Light compression: PNG encoding otherwise dominates the export time.
    if (!image.save(&buffer, "PNG", 80)) {
      if (error) *error = "cannot encode PNG";
      return false;
    }
    bytes.assign(data.constData(), size_t(data.size()));
  } else {
    if (error) *error = "unknown image type '" + ext + "'";
    return false;
  }
  return qx::WriteFileAtomically(path, bytes, error);
}

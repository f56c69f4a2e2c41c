#include "platform/score_image.h"

#include <zlib.h>

#include "common/file_util.h"
#include "common/paths.h"
#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"

namespace {

// The export's page: content plus 50 each way.
QSize PageSize(const CScore& score) {
  const_cast<CScore&>(score).ComputeExtent();
  return {score.ExtentWidth + 50, score.ExtentHeight + 50};
}

// Draws the part of the page from `top` down into `image` (white first): the
// black one-unit frame of the whole page, then the score.
void DrawPage(QImage& image, const CScore& score, QSize page, int top) {
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.translate(0, -top);
  QtDeviceContext dc(painter, {0, top, page.width(), top + image.height()});
  dc.SetPen({PenSolid, 1, 0});
  dc.FrameRect({0, 0, page.width(), page.height()});
  DrawScore(dc, score);
}

void PutBig32(std::string& s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s += char((v >> (8 * i)) & 0xFF);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
  PutBig32(out, uint32_t(data.size()));
  const size_t start = out.size();
  out.append(type, 4);
  out += data;
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(out.data() + start), uInt(out.size() - start));
  PutBig32(out, uint32_t(crc));
}

// A PNG written row by row: 8-bit grey or 24-bit colour, rows unfiltered,
// deflated as they come with run-length matching (a page of white with thin
// black lines compresses well and fast that way).
class PngWriter {
 public:
  PngWriter(int width, int height, bool grey)
      : width_(width), height_(height), grey_(grey), row_(size_t(1 + width * (grey ? 1 : 3)), '\0') {
    ok_ = deflateInit2(&z_, 1, Z_DEFLATED, 15, 8, Z_RLE) == Z_OK;
  }
  ~PngWriter() {
    if (ok_) deflateEnd(&z_);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  void AddRow(const QRgb* line) {
    char* p = row_.data();
    *p++ = 0;  // no filter
    for (int x = 0; x < width_; ++x) {
      *p++ = char(qRed(line[x]));
      if (!grey_) {
        *p++ = char(qGreen(line[x]));
        *p++ = char(qBlue(line[x]));
      }
    }
    Pump(row_.data(), row_.size(), Z_NO_FLUSH);
  }
  // The whole file; empty when compression failed.
  std::string Finish() {
    if (!ok_) return {};
    Pump(nullptr, 0, Z_FINISH);
    std::string header;
    PutBig32(header, uint32_t(width_));
    PutBig32(header, uint32_t(height_));
    header += char(8);                // bits per sample
    header += char(grey_ ? 0 : 2);    // grey or RGB
    header += std::string(3, '\0');  // deflate, adaptive filtering method, no interlace
    std::string out("\x89PNG\r\n\x1a\n", 8);
    Chunk(out, "IHDR", header);
    Chunk(out, "IDAT", packed_);
    Chunk(out, "IEND", "");
    return out;
  }

 private:
  void Pump(const char* data, size_t size, int flush) {
    if (!ok_) return;
    char buffer[1 << 16];
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z_.avail_in = uInt(size);
    do {
      z_.next_out = reinterpret_cast<Bytef*>(buffer);
      z_.avail_out = sizeof buffer;
      if (deflate(&z_, flush) == Z_STREAM_ERROR) ok_ = false;
      packed_.append(buffer, sizeof buffer - z_.avail_out);
    } while (ok_ && z_.avail_out == 0);
  }

  int width_, height_;
  bool grey_;
  bool ok_ = false;
  z_stream z_{};
  std::string row_, packed_;
};

// Whether the export can only hold greys: nothing selected (selection draws
// in colour), no pictures, and every visible layer's colour grey.
bool DrawsOnlyGrey(const CScore& score) {
  for (const CLayer& layer : score.Layers) {
    const Color c = static_cast<Color>(layer.Color);
    if ((layer.Style & LAYER_VISIBLE) && (RedOf(c) != GreenOf(c) || GreenOf(c) != BlueOf(c))) return false;
  }
  for (const auto& o : score.Objects())
    if (o->Selected || o->KindCode() == Kind::Image) return false;
  return true;
}

// The same picture as RenderScoreImage, drawn in strips into one reused
// buffer and encoded as it goes, so a long score never needs its whole page
// image in memory at once.
std::string RenderScorePng(const CScore& score) {
  const QSize page = PageSize(score);
  constexpr int kStrip = 512;
  QImage strip(page.width(), kStrip, QImage::Format_RGB32);
  PngWriter png(page.width(), page.height(), DrawsOnlyGrey(score));
  for (int top = 0; top < page.height(); top += kStrip) {
    DrawPage(strip, score, page, top);
    for (int y = 0; y < kStrip && top + y < page.height(); ++y)
      png.AddRow(reinterpret_cast<const QRgb*>(strip.constScanLine(y)));
  }
  return png.Finish();
}

void Put16(std::string& s, uint16_t v) {
  s += char(v & 0xFF);
  s += char(v >> 8);
}
void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += char((v >> (8 * i)) & 0xFF);
}

}  // namespace

QImage RenderScoreImage(const CScore& score) {
  const QSize page = PageSize(score);
  QImage image(page, QImage::Format_RGB32);
  DrawPage(image, score, page, 0);
  return image;
}

std::string EncodePng(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  bool grey = true;
  for (int y = 0; y < image.height() && grey; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width() && grey; ++x)
      grey = qRed(line[x]) == qGreen(line[x]) && qGreen(line[x]) == qBlue(line[x]);
  }
  PngWriter png(image.width(), image.height(), grey);
  for (int y = 0; y < image.height(); ++y) png.AddRow(reinterpret_cast<const QRgb*>(image.constScanLine(y)));
  return png.Finish();
}

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
  const std::string ext = qx::FileExtensionLower(path);
  std::string bytes;
  if (ext == ".bmp") {
    bytes = EncodeBmp24(RenderScoreImage(score));
  } else if (ext == ".png") {
    bytes = RenderScorePng(score);
    if (bytes.empty()) {
      if (error) *error = "cannot encode PNG";
      return false;
    }
  } else {
    if (error) *error = "unknown image type '" + ext + "'";
    return false;
  }
  return qx::WriteFileAtomically(path, bytes, error);
}

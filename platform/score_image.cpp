#include "platform/score_image.h"

#include <zlib.h>

#include <array>

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

namespace {
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
}  // namespace

std::string EncodePng(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_RGB32);
  const int w = image.width(), h = image.height();
  bool grey = true;
  for (int y = 0; y < h && grey; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < w; ++x)
      if (qRed(line[x]) != qGreen(line[x]) || qGreen(line[x]) != qBlue(line[x])) {
        grey = false;
        break;
      }
  }
  const int channels = grey ? 1 : 3;
  // Each row: filter type 0, then the samples.
  std::string raw;
  raw.resize(size_t(h) * (1 + size_t(w) * channels));
  char* p = raw.data();
  for (int y = 0; y < h; ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    *p++ = 0;
    for (int x = 0; x < w; ++x) {
      if (grey) {
        *p++ = char(qRed(line[x]));
      } else {
        *p++ = char(qRed(line[x]));
        *p++ = char(qGreen(line[x]));
        *p++ = char(qBlue(line[x]));
      }
    }
  }
  uLongf packedSize = compressBound(uLong(raw.size()));
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
                uLong(raw.size()), 1) != Z_OK)
    return {};
  packed.resize(packedSize);
  std::string header;
  PutBig32(header, uint32_t(w));
  PutBig32(header, uint32_t(h));
  header += char(8);                 // bits per sample
  header += char(grey ? 0 : 2);      // grey or RGB
  header += std::string(3, '\0');   // deflate, adaptive filtering method, no interlace
  std::string out("\x89PNG\r\n\x1a\n", 8);
  Chunk(out, "IHDR", header);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", "");
  return out;
}

namespace {

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
// buffer and deflated as it goes, so a long score never needs its whole
// page image in memory at once.
std::string RenderScorePng(const CScore& score) {
  CScore& mutableScore = const_cast<CScore&>(score);
  mutableScore.ComputeExtent();
  const int width = score.ExtentWidth + 50, height = score.ExtentHeight + 50;
  const bool grey = DrawsOnlyGrey(score);
  const int channels = grey ? 1 : 3;
  constexpr int kStrip = 512;
  QImage strip(width, kStrip, QImage::Format_RGB32);
  z_stream z{};
  // Run-length matching suits a page of white with thin black lines, and is fast.
  if (deflateInit2(&z, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK) return {};
  std::string packed, row(size_t(1 + width * channels), '\0');
  char buffer[1 << 16];
  auto pump = [&](const char* data, size_t size, int flush) {
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    z.avail_in = uInt(size);
    do {
      z.next_out = reinterpret_cast<Bytef*>(buffer);
      z.avail_out = sizeof buffer;
      deflate(&z, flush);
      packed.append(buffer, sizeof buffer - z.avail_out);
    } while (z.avail_out == 0);
  };
  for (int top = 0; top < height; top += kStrip) {
    strip.fill(Qt::white);
    QPainter painter(&strip);
    painter.translate(0, -top);
    QtDeviceContext dc(painter, {0, top, width, top + kStrip});
    dc.SetPen({PenSolid, 1, 0});
    dc.FrameRect({0, 0, width, height});
    DrawScore(dc, score);
    painter.end();
    for (int y = 0; y < kStrip && top + y < height; ++y) {
      const QRgb* line = reinterpret_cast<const QRgb*>(strip.constScanLine(y));
      char* p = row.data();
      *p++ = 0;  // no filter
      for (int x = 0; x < width; ++x) {
        *p++ = char(qRed(line[x]));
        if (!grey) {
          *p++ = char(qGreen(line[x]));
          *p++ = char(qBlue(line[x]));
        }
      }
      pump(row.data(), row.size(), Z_NO_FLUSH);
    }
  }
  pump(nullptr, 0, Z_FINISH);
  deflateEnd(&z);
  std::string header;
  PutBig32(header, uint32_t(width));
  PutBig32(header, uint32_t(height));
  header += char(8);
  header += char(grey ? 0 : 2);
  header += std::string(3, '\0');
  std::string out("\x89PNG\r\n\x1a\n", 8);
  Chunk(out, "IHDR", header);
  Chunk(out, "IDAT", packed);
  Chunk(out, "IEND", "");
  return out;
}

}  // namespace

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

#include "platform/score_image.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "common/file_util.h"
#include "common/paths.h"
#include "model/score.h"
#include "notation/draw.h"
#include "platform/qt_device_context.h"

namespace {

// The export's page: content plus 50 each way, in 64 bits (a damaged score's
// edges may lie anywhere in int's range).
struct PageExtent {
  int64_t Width, Height;
};
PageExtent PageSize(const CScore& score) {
  const_cast<CScore&>(score).ComputeExtent();
  return {int64_t(score.ExtentWidth) + 50, int64_t(score.ExtentHeight) + 50};
}

std::string Thousands(int64_t v) {
  std::string digits = std::to_string(v), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Empty when the page fits the export's limits, else the reason.
std::string CheckImageSize(PageExtent page, bool png) {
  const int64_t maxHeight = png ? kMaxPngImageHeight : kMaxImageSide;
  const uint64_t bytes = png ? 0 : uint64_t((page.Width * 3 + 3) & ~int64_t(3)) * uint64_t(page.Height);
  const bool pixelsFit = !png || uint64_t(page.Width) * uint64_t(page.Height) <= kMaxPngPixels;
  if (page.Width <= kMaxImageSide && page.Height <= maxHeight && bytes <= kMaxBmpBytes && pixelsFit) return {};
  return "图像太大:" + Thousands(page.Width) + " × " + Thousands(page.Height) + " 像素,上限为宽 " +
         Thousands(kMaxImageSide) + "、高 " + Thousands(maxHeight) + (png ? " 像素、共 " + Thousands(int64_t(kMaxPngPixels)) + " 像素" : " 像素、1 GB") +
         " (image too large: " + Thousands(page.Width) + " x " + Thousands(page.Height) + " pixels; the limit is " +
         Thousands(kMaxImageSide) + " pixels wide and " + Thousands(maxHeight) + " high" +
         (png ? ", " + Thousands(int64_t(kMaxPngPixels)) + " in all)" : ", 1 GB)");
}

// Draws the part of the page from `top` down into `image` (white first): the
// black one-unit frame of the whole page, then the score.
void DrawPage(QImage& image, const CScore& score, PageExtent page, int top) {
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.translate(0, -top);
  QtDeviceContext dc(painter, {0, top, image.width(), top + image.height()});
  dc.SetPen({PenSolid, 1, 0});
  dc.FrameRect({0, 0, int(page.Width), int(page.Height)});
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

// Bits of a deflate stream, least significant first.
class BitSink {
 public:
  explicit BitSink(std::string& out) : out_(out) {}
  void Put(uint32_t value, int count) {
    bits_ |= uint64_t(value) << used_;
    used_ += count;
    while (used_ >= 8) {
      out_ += char(bits_ & 0xFF);
      bits_ >>= 8;
      used_ -= 8;
    }
  }
  // A Huffman code goes most significant bit first.
  void PutCode(uint32_t code, int count) {
    uint32_t reversed = 0;
    for (int i = 0; i < count; ++i) reversed |= ((code >> i) & 1u) << (count - 1 - i);
    Put(reversed, count);
  }
  void Align() {
    if (used_ > 0) Put(0, 8 - used_);
  }

 private:
  std::string& out_;
  uint64_t bits_ = 0;
  int used_ = 0;
};

// One match of the fixed-code deflate block: length 3..258, distance 1..32768.
void PutMatch(BitSink& bits, int length, int distance) {
  static const int kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const int kLengthExtra[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  static const int kDistBase[] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                  193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  static const int kDistExtra[] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  int l = 28;
  while (kLengthBase[l] > length) --l;
  const int symbol = 257 + l;
  if (symbol <= 279) bits.PutCode(uint32_t(symbol - 256), 7);
  else bits.PutCode(uint32_t(0xC0 + symbol - 280), 8);
  bits.Put(uint32_t(length - kLengthBase[l]), kLengthExtra[l]);
  int d = 29;
  while (kDistBase[d] > distance) --d;
  bits.PutCode(uint32_t(d), 5);
  bits.Put(uint32_t(distance - kDistBase[d]), kDistExtra[d]);
}

// A PNG written row by row: 8-bit grey or 24-bit colour, rows unfiltered,
// deflated as they come with run-length matching (a page of white with thin
// black lines compresses well and fast that way). A run of rows like the one
// before them (blank paper, most of a long score) is written directly as
// back-references to that row, so it costs next to nothing however long.
class PngWriter {
 public:
  PngWriter(int width, int height, bool grey)
      : width_(width), height_(height), grey_(grey), row_(size_t(1 + width * (grey ? 1 : 3)), '\0') {
    // Raw deflate: the zlib wrapper is written here, so that hand-made blocks
    // can sit between the deflater's.
    ok_ = deflateInit2(&z_, 1, Z_DEFLATED, -15, 8, Z_RLE) == Z_OK;
    packed_ += char(0x78);
    packed_ += char(0x01);
  }
  ~PngWriter() {
    if (ok_) deflateEnd(&z_);
  }
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;

  void AddRow(const QRgb* line) {
    const bool canRepeat = row_.size() >= 3 && row_.size() <= 32768;
    if (canRepeat && havePrevious_ && std::memcmp(previous_.data(), line, previous_.size() * sizeof(QRgb)) == 0) {
      ++repeats_;
      return;
    }
    FlushRepeats();
    previous_.assign(line, line + width_);
    havePrevious_ = true;
    char* p = row_.data();
    *p++ = 0;  // no filter
    for (int x = 0; x < width_; ++x) {
      *p++ = char(qRed(line[x]));
      if (!grey_) {
        *p++ = char(qGreen(line[x]));
        *p++ = char(qBlue(line[x]));
      }
    }
    adler_ = adler32(adler_, reinterpret_cast<const Bytef*>(row_.data()), uInt(row_.size()));
    Pump(row_.data(), row_.size(), Z_NO_FLUSH);
  }
  // The whole file; empty when compression failed.
  std::string Finish() {
    FlushRepeats();
    if (!ok_) return {};
    Pump(nullptr, 0, Z_FINISH);
    PutBig32(packed_, uint32_t(adler_));
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
  // Writes the pending run of repeated rows as one fixed-code block of
  // matches at the distance of one row, between two flushes of the deflater,
  // then hands the deflater its window back as a dictionary.
  void FlushRepeats() {
    if (repeats_ == 0 || !ok_) {
      repeats_ = 0;
      return;
    }
    const int rowLength = int(row_.size());
    Pump(nullptr, 0, Z_SYNC_FLUSH);
    BitSink bits(packed_);
    bits.Put(0, 1);  // not the last block
    bits.Put(1, 2);  // fixed codes
    uint64_t left = uint64_t(repeats_) * uint64_t(rowLength);
    while (left > 0) {
      int take = int(std::min<uint64_t>(left, 258));
      if (left > 258 && left - 258 < 3) take = int(left - 3);
      PutMatch(bits, take, rowLength);
      left -= uint64_t(take);
    }
    bits.PutCode(0, 7);  // end of block
    // An empty stored block brings the stream back to a byte boundary.
    bits.Put(0, 1);
    bits.Put(0, 2);
    bits.Align();
    packed_ += std::string("\x00\x00\xFF\xFF", 4);
    const uLong rowAdler = adler32(1, reinterpret_cast<const Bytef*>(row_.data()), uInt(row_.size()));
    for (int64_t i = 0; i < repeats_; ++i) adler_ = adler32_combine(adler_, rowAdler, z_off_t(row_.size()));
    // The window the deflater may refer back into: the last 32 KB, all copies of the row.
    std::string window;
    while (window.size() < 32768) window += row_;
    window.erase(0, window.size() - 32768);
    if (deflateSetDictionary(&z_, reinterpret_cast<const Bytef*>(window.data()), uInt(window.size())) != Z_OK) ok_ = false;
    repeats_ = 0;
  }

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
  uLong adler_ = 1;
  std::vector<QRgb> previous_;
  bool havePrevious_ = false;
  int64_t repeats_ = 0;
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
std::string RenderScorePng(const CScore& score, PageExtent page) {
  constexpr int kStrip = 512;
  QImage strip(int(page.Width), kStrip, QImage::Format_RGB32);
  if (strip.isNull()) return {};
  PngWriter png(int(page.Width), int(page.Height), DrawsOnlyGrey(score));
  for (int64_t top = 0; top < page.Height; top += kStrip) {
    DrawPage(strip, score, page, int(top));
    for (int y = 0; y < kStrip && top + y < page.Height; ++y)
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
  const PageExtent page = PageSize(score);
  if (!CheckImageSize(page, false).empty()) return {};
  QImage image(int(page.Width), int(page.Height), QImage::Format_RGB32);
  if (image.isNull()) return image;
  DrawPage(image, score, page, 0);
  return image;
}

std::string ScoreImageSizeProblem(const CScore& score, bool png) { return CheckImageSize(PageSize(score), png); }

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
  auto fail = [&](std::string why) {
    if (error) *error = std::move(why);
    return false;
  };
  if (ext != ".bmp" && ext != ".png") return fail("unknown image type '" + ext + "'");
  const PageExtent page = PageSize(score);
  if (std::string why = CheckImageSize(page, ext == ".png"); !why.empty()) return fail(why);
  std::string bytes;
  try {
    if (ext == ".bmp") {
      const QImage image = RenderScoreImage(score);
      if (image.isNull()) return fail("内存不足 (out of memory for the image)");
      bytes = EncodeBmp24(image);
    } else {
      bytes = RenderScorePng(score, page);
      if (bytes.empty()) return fail("cannot encode PNG");
    }
  } catch (const std::bad_alloc&) {
    return fail("内存不足 (out of memory for the image)");
  }
  return qx::WriteFileAtomically(path, bytes, error);
}

void PaintScoreView(QPainter& painter, const CScore& score, const QRect& visible, QSize grid) {
  if (!painter.isActive() || visible.isEmpty()) return;
  // Page background: the paper's right edge and the page breaks, only where visible.
  painter.save();
  painter.setPen(QColor(0xD0, 0xD0, 0xD0));
  const int64_t top = visible.top(), bottom = int64_t(visible.bottom()) + 1;
  if (score.PaperWidth >= visible.left() && score.PaperWidth <= visible.right())
    painter.drawLine(score.PaperWidth, visible.top(), score.PaperWidth, visible.bottom());
  if (score.PaperHeight > 0) {
    for (int64_t y = (top / score.PaperHeight + (top > 0 ? 1 : 0)) * score.PaperHeight; y < bottom; y += score.PaperHeight)
      if (y >= top) painter.drawLine(visible.left(), int(y), visible.right(), int(y));
  }
  if (grid.width() > 0 && grid.height() > 0) {
    const double scale = std::max(1e-3, painter.transform().m11());
    int64_t sx = grid.width(), sy = grid.height();
    while (sx * scale < 4) sx *= 2;
    while (sy * scale < 4) sy *= 2;
    const auto first = [](int64_t v, int64_t step) { return (v >= 0 ? (v + step - 1) / step : -((-v) / step)) * step; };
    QPen dots(QColor(0xA8, 0xB8, 0xD0));
    dots.setWidthF(1.0 / scale);  // one pixel at any zoom
    painter.setPen(dots);
    std::vector<QPointF> row;
    for (int64_t y = first(visible.top(), sy); y <= visible.bottom(); y += sy) {
      row.clear();
      for (int64_t x = first(visible.left(), sx); x <= visible.right(); x += sx) row.emplace_back(double(x), double(y));
      painter.drawPoints(row.data(), int(row.size()));
    }
  }
  painter.restore();
  QtDeviceContext dc(painter, {visible.left(), visible.top(), visible.left() + visible.width(), visible.top() + visible.height()});
  DrawScore(dc, score);
}

QSize ScoreViewSize(const CScore& score) {
  CScore& s = const_cast<CScore&>(score);
  s.ComputeExtent();
  const int64_t paperHeight = std::max<int64_t>(1, score.PaperHeight);
  const int64_t pages = std::max<int64_t>(1, (int64_t(score.ExtentHeight) + paperHeight - 1) / paperHeight);
  const int64_t width = std::max<int64_t>(score.ExtentWidth, score.PaperWidth) + 100;
  const int64_t height = paperHeight * pages + 50;
  // Scroll ranges are ints; a hostile score is cut to what they can hold.
  constexpr int64_t kMax = kMaxViewExtent;
  return {int(std::clamp<int64_t>(width, 1, kMax)), int(std::clamp<int64_t>(height, 1, kMax))};
}

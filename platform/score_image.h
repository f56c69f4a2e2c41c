// Rendering a whole score to an image, and the bitmap export file.
#pragma once

#include <QImage>
#include <string>

#include <QPainter>
#include <QRect>
#include <cstdint>

class CScore;

// The bitmap export's limits: an image wider than this, or (BMP) higher or
// over 1 GB of pixels, is refused with a reason. A PNG is written row by row
// in bounded memory and may be far higher (kMaxPngPixels in all).
constexpr int64_t kMaxImageSide = 32768;
constexpr int64_t kMaxPngImageHeight = int64_t(1) << 22;
constexpr uint64_t kMaxBmpBytes = uint64_t(1) << 30;
// A PNG's pixels in all: some 1,500 pages of the default paper.
constexpr uint64_t kMaxPngPixels = uint64_t(1) << 31;
// The largest size the score view scrolls over.
constexpr int64_t kMaxViewExtent = int64_t(1) << 28;

// Empty when the export of the score fits the limits above, else a
// Chinese and English reason.
std::string ScoreImageSizeProblem(const CScore& score, bool png);

// The bitmap export's picture: the content size plus 50 each way, white with
// a black one-unit frame, the whole score drawn in. A null image when the
// picture is beyond the BMP limits or cannot be allocated.
QImage RenderScoreImage(const CScore& score);
// A standard uncompressed 24-bit Windows bitmap of the image.
std::string EncodeBmp24(const QImage& image);
// A PNG of the image: 8-bit grey when every pixel is grey (the usual black
// score on white), else 24-bit colour; rows unfiltered, fast deflate.
std::string EncodePng(const QImage& image);
// Writes .bmp or .png by the path's extension; never leaves a partial file.
// A picture beyond the limits is refused with the reason in `error`.
bool SaveScoreImage(const CScore& score, const std::string& path, std::string* error);

// What the score view draws: the page background (paper edge, page breaks)
// and the score, only within `visible` (score units; the painter maps them to
// its surface). Safe on any score: far-off geometry is clipped in 64 bits
// before it reaches the painter.
// `grid` (units, empty for none) draws a dotted grid between the page
// background and the music; where its dots would stand closer than 4 pixels
// every second one is left out, and so on.
void PaintScoreView(QPainter& painter, const CScore& score, const QRect& visible, QSize grid = {});
// The area the view scrolls over, worked out in 64 bits and held within
// kMaxViewExtent a side.
QSize ScoreViewSize(const CScore& score);

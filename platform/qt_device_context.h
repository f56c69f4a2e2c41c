// The device context over a QPainter: on a widget, a QImage or a printer.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <memory>
#include <vector>

#include "notation/device_context.h"

// A picture decoded by Qt.
class QtPicture : public Picture {
 public:
  explicit QtPicture(QImage image) : Image(std::move(image)) {}
  int GetWidth() const override { return Image.width(); }
  int GetHeight() const override { return Image.height(); }
  QImage Image;
};

// Picture files: at most this many bytes, decoded into at most this many
// megabytes.
constexpr uint64_t kMaxPictureFileBytes = uint64_t(64) << 20;
constexpr int kMaxPictureMegabytes = 256;

// Loads a picture file (PNG, JPEG, BMP, GIF); nullptr when it cannot be read,
// is no regular file (never blocks on a FIFO) or is beyond the limits above.
std::shared_ptr<Picture> LoadPicture(const std::string& path);
// Where an image's stored source lives: resolved against the folder of the
// score's file (the program's folder for a score without one), links
// followed, and only when it lies inside the score's or the program's folder;
// empty otherwise, so a score cannot have any file on the machine read.
std::string PictureSourcePath(const std::string& scorePath, const std::string& source);
// Every image of the score reloads its picture from its source (see
// PictureSourcePath); an image whose source is refused draws its outline.
void LoadScorePictures(CScore& score);

// The Qt font for a stored font description: faces map to what is installed
// (the Windows faces to Liberation, DejaVu and a CJK face).
QFont FontFromLogFont(const LogFont& font);
// Text bytes as Qt text: symbol bytes one to one for the music face, GBK otherwise.
QString TextForFont(const LogFont& font, std::string_view bytes);

class QtDeviceContext : public DeviceContext {
 public:
  // Draws with `painter`, whose transform maps score units to the surface;
  // `clip` is the part to draw, in score units.
  QtDeviceContext(QPainter& painter, Rect clip);

  void SetPen(const PenDesc& pen) override;
  PenDesc GetPen() const override { return pen_; }
  void SetTextColor(Color c) override { text_ = c; }
  Color GetTextColor() const override { return text_; }
  void SetBackgroundMode(BackgroundMode mode) override { background_ = mode; }
  BackgroundMode GetBackgroundMode() const override { return background_; }
  void SetMixMode(MixMode mode) override;
  void SetFont(const LogFont& font) override;
  LogFont GetFont() const override { return logFont_; }
  TextMetrics GetTextMetrics() override;
  TextSize GetTextExtent(std::string_view text) override;
  void TextOut(int x, int y, std::string_view text) override;
  void DrawTextInBox(const Rect& box, std::string_view text) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Polyline(const Point* points, int count) override;
  void FillRect(const Rect& r, Color c) override;
  void FillPolygon(const Point* points, int count, Color c) override;
  void FrameRect(const Rect& r) override;
  void Ellipse(const Rect& box) override;
  void Arc(const Rect& box, Point start, Point end) override;
  void DrawPicture(const Picture& picture, const Rect& box) override;
  Rect GetClipBox() const override { return clip_; }

  // The clip widened by a guard band, in 64 bits; what lies outside is cut
  // away before it reaches the painter.
  struct GuardBox {
    int64_t Left, Top, Right, Bottom;
    bool Meets(int64_t l, int64_t t, int64_t r, int64_t b) const { return l < Right && r > Left && t < Bottom && b > Top; }
    bool Holds(double x, double y) const { return x >= Left && x <= Right && y >= Top && y <= Bottom; }
  };

 private:
  int Ascent() const;
  void ClippedPolyline(const Point* points, int count);
  std::vector<Point> EllipsePoints(const Rect& box, double a0, double span) const;

  QPainter& p_;
  Rect clip_;
  GuardBox guard_{};
  PenDesc pen_;
  Color text_ = 0;
  BackgroundMode background_ = BackgroundMode::Opaque;
  LogFont logFont_;
  QFont font_;
  std::unique_ptr<QFontMetrics> metrics_;
};

inline QColor ToQColor(Color c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }

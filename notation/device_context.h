// The drawing surface the notation code draws on. It follows the model of a
// classic 2-D device context: a current pen, text colour, background mode,
// mix mode and font, integer coordinates in score units (y downward), text
// placed by its top-left corner. The platform layer implements it over a
// painter; tests use a recording implementation.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "model/object.h"
#include "model/score.h"

using Color = uint32_t;  // 0x00BBGGRR
constexpr Color RGBColor(int r, int g, int b) { return Color(r & 0xFF) | Color(g & 0xFF) << 8 | Color(b & 0xFF) << 16; }
constexpr int RedOf(Color c) { return c & 0xFF; }
constexpr int GreenOf(Color c) { return (c >> 8) & 0xFF; }
constexpr int BlueOf(Color c) { return (c >> 16) & 0xFF; }

// Pen styles by their stored codes (a line's Style is one of these).
enum PenStyle : int { PenSolid = 0, PenDash = 1, PenDot = 2, PenDashDot = 3, PenDashDotDot = 4, PenNull = 5 };
enum class BackgroundMode { Transparent, Opaque };
enum class MixMode { Copy, NotXor };

struct PenDesc {
  int Style = PenSolid;
  int Width = 1;
  Color Colour = 0;
  bool operator==(const PenDesc&) const = default;
};

struct Point {
  int X = 0, Y = 0;
  bool operator==(const Point&) const = default;
};

struct TextMetrics {
  int Height = 0;
  int Ascent = 0;
  int Descent = 0;
  int InternalLeading = 0;
  int AveCharWidth = 0;
};

struct TextSize {
  int Width = 0, Height = 0;
};

class Picture;

class DeviceContext {
 public:
  virtual ~DeviceContext() = default;

  virtual void SetPen(const PenDesc& pen) = 0;
  virtual PenDesc GetPen() const = 0;
  virtual void SetTextColor(Color c) = 0;
  virtual Color GetTextColor() const = 0;
  virtual void SetBackgroundMode(BackgroundMode mode) = 0;
  virtual BackgroundMode GetBackgroundMode() const = 0;
  virtual void SetMixMode(MixMode mode) = 0;
  // Selects a font from its stored description; texts are then drawn in it.
  virtual void SetFont(const LogFont& font) = 0;
  virtual LogFont GetFont() const = 0;
  virtual TextMetrics GetTextMetrics() = 0;
  // Text is GBK bytes, or symbol bytes when the current face is the music font.
  virtual TextSize GetTextExtent(std::string_view text) = 0;
  virtual void TextOut(int x, int y, std::string_view text) = 0;
  // Word-wrapped text inside a box, lines from its top.
  virtual void DrawTextInBox(const Rect& box, std::string_view text) = 0;

  // Lines with the current pen, from (x1, y1) up to but excluding (x2, y2).
  virtual void Line(int x1, int y1, int x2, int y2) = 0;
  virtual void Polyline(const Point* points, int count) = 0;
  // Filled in the given colour (no outline): rectangles and polygons.
  virtual void FillRect(const Rect& r, Color c) = 0;
  virtual void FillPolygon(const Point* points, int count, Color c) = 0;
  // Outlines with the current pen.
  virtual void FrameRect(const Rect& r) = 0;
  virtual void Ellipse(const Rect& box) = 0;
  // The arc of the ellipse in `box` from the ray towards `start` to the ray
  // towards `end`, counter-clockwise as on screen.
  virtual void Arc(const Rect& box, Point start, Point end) = 0;
  virtual void DrawPicture(const Picture& picture, const Rect& box) = 0;

  // The part of the surface that needs drawing, in score units.
  virtual Rect GetClipBox() const = 0;
};

// Keeps a device context's current state and puts it back on scope exit.
class DeviceStateSaver {
 public:
  explicit DeviceStateSaver(DeviceContext& dc)
      : dc_(dc), pen_(dc.GetPen()), text_(dc.GetTextColor()), mode_(dc.GetBackgroundMode()), font_(dc.GetFont()) {}
  ~DeviceStateSaver() {
    dc_.SetPen(pen_);
    dc_.SetTextColor(text_);
    dc_.SetBackgroundMode(mode_);
    dc_.SetFont(font_);
  }
  DeviceStateSaver(const DeviceStateSaver&) = delete;
  DeviceStateSaver& operator=(const DeviceStateSaver&) = delete;

 private:
  DeviceContext& dc_;
  PenDesc pen_;
  Color text_;
  BackgroundMode mode_;
  LogFont font_;
};

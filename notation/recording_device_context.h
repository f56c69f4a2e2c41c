// A device context that records what is drawn, for tests and measurements.
#pragma once

#include <string>
#include <vector>

#include "notation/device_context.h"

struct DrawCall {
  enum Kind { Text, TextBox, Line, Polyline, FillRect, FillPolygon, FrameRect, Ellipse, Arc, Picture } What;
  std::string TextBytes;  // Text, TextBox
  std::vector<Point> Points;  // Line: two, Polyline/FillPolygon: all, Arc: start and end
  Rect Box;                   // TextBox, FillRect, FrameRect, Ellipse, Arc, Picture
  PenDesc Pen;
  Color TextColour = 0;
  Color FillColour = 0;
  MixMode Mix = MixMode::Copy;
  std::string Face;
  int FontHeight = 0;
  int Escapement = 0;
};

class RecordingDeviceContext : public DeviceContext {
 public:
  explicit RecordingDeviceContext(Rect clip = {-100000, -100000, 100000, 100000}) : clip_(clip) {}

  void SetPen(const PenDesc& pen) override { pen_ = pen; ++penChanges; }
  PenDesc GetPen() const override { return pen_; }
  void SetTextColor(Color c) override { text_ = c; }
  Color GetTextColor() const override { return text_; }
  void SetBackgroundMode(BackgroundMode mode) override { background_ = mode; }
  BackgroundMode GetBackgroundMode() const override { return background_; }
  void SetMixMode(MixMode mode) override { mix_ = mode; }
  void SetFont(const LogFont& font) override { font_ = font; }
  LogFont GetFont() const override { return font_; }
  // Metrics of a simple model font: em = |Height|, ascent 80 %, leading 10 %.
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

  std::vector<DrawCall> Calls;
  int penChanges = 0;

  // Calls of one kind, and texts drawn as single glyph bytes at a point.
  std::vector<const DrawCall*> Of(DrawCall::Kind kind) const;
  bool HasGlyph(int byte, int x, int y) const;

 private:
  DrawCall Make(DrawCall::Kind kind) const;

  Rect clip_;
  PenDesc pen_;
  Color text_ = 0;
  BackgroundMode background_ = BackgroundMode::Opaque;
  MixMode mix_ = MixMode::Copy;
  LogFont font_;
};

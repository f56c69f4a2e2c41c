#include "notation/recording_device_context.h"

#include <algorithm>
#include <cstdlib>

DrawCall RecordingDeviceContext::Make(DrawCall::Kind kind) const {
  DrawCall c;
  c.What = kind;
  c.Pen = pen_;
  c.TextColour = text_;
  c.Mix = mix_;
  c.Face = font_.Face();
  c.FontHeight = font_.Height;
  c.Escapement = font_.Escapement;
  return c;
}

TextMetrics RecordingDeviceContext::GetTextMetrics() {
  const int em = std::max(1, std::abs(font_.Height));
  TextMetrics tm;
  tm.InternalLeading = em / 10;
  tm.Ascent = em * 8 / 10 + tm.InternalLeading;
  tm.Descent = em - em * 8 / 10;
  tm.Height = tm.Ascent + tm.Descent;
  tm.AveCharWidth = std::max(1, em / 2);
  return tm;
}

TextSize RecordingDeviceContext::GetTextExtent(std::string_view text) {
  const TextMetrics tm = GetTextMetrics();
  return {tm.AveCharWidth * static_cast<int>(text.size()), tm.Height};
}

void RecordingDeviceContext::TextOut(int x, int y, std::string_view text) {
  DrawCall c = Make(DrawCall::Text);
  c.TextBytes = std::string(text);
  c.Points = {{x, y}};
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::DrawTextInBox(const Rect& box, std::string_view text) {
  DrawCall c = Make(DrawCall::TextBox);
  c.TextBytes = std::string(text);
  c.Box = box;
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::Line(int x1, int y1, int x2, int y2) {
  DrawCall c = Make(DrawCall::Line);
  c.Points = {{x1, y1}, {x2, y2}};
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::Polyline(const Point* points, int count) {
  DrawCall c = Make(DrawCall::Polyline);
  c.Points.assign(points, points + count);
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::FillRect(const Rect& r, Color colour) {
  DrawCall c = Make(DrawCall::FillRect);
  c.Box = r;
  c.FillColour = colour;
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::FillPolygon(const Point* points, int count, Color colour) {
  DrawCall c = Make(DrawCall::FillPolygon);
  c.Points.assign(points, points + count);
  c.FillColour = colour;
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::FrameRect(const Rect& r) {
  DrawCall c = Make(DrawCall::FrameRect);
  c.Box = r;
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::Ellipse(const Rect& box) {
  DrawCall c = Make(DrawCall::Ellipse);
  c.Box = box;
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::Arc(const Rect& box, Point start, Point end) {
  DrawCall c = Make(DrawCall::Arc);
  c.Box = box;
  c.Points = {start, end};
  Calls.push_back(std::move(c));
}

void RecordingDeviceContext::DrawPicture(const Picture&, const Rect& box) {
  DrawCall c = Make(DrawCall::Picture);
  c.Box = box;
  Calls.push_back(std::move(c));
}

std::vector<const DrawCall*> RecordingDeviceContext::Of(DrawCall::Kind kind) const {
  std::vector<const DrawCall*> out;
  for (const DrawCall& c : Calls)
    if (c.What == kind) out.push_back(&c);
  return out;
}

bool RecordingDeviceContext::HasGlyph(int byte, int x, int y) const {
  for (const DrawCall& c : Calls)
    if (c.What == DrawCall::Text && c.TextBytes.size() == 1 && static_cast<uint8_t>(c.TextBytes[0]) == byte &&
        c.Points[0] == Point{x, y})
      return true;
  return false;
}

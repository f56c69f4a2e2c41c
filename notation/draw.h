// Drawing the score and its objects onto a device context.
#pragma once

#include "notation/device_context.h"

class CScore;
class CXObject;

// The whole pass in object order, skipping hidden layers and objects outside
// the clip box (widened by 64 units left and right and 100 up and down).
void DrawScore(DeviceContext& dc, const CScore& score);
// One object with the pass's preparation (pen, colour, font), no clip test.
void DrawObject(DeviceContext& dc, const CScore& score, const CXObject& object);

// The object's own drawing with the device's current pen, colour and font.
void DrawKind(DeviceContext& dc, const CScore& score, const CXObject& object);
void DrawOutline(DeviceContext& dc, const CXObject& object);
void DrawHandles(DeviceContext& dc, const CXObject& object);
void DrawMoveFeedback(DeviceContext& dc, const CXObject& object, int dx, int dy);
void DrawResizeFeedback(DeviceContext& dc, const CXObject& object, int dx, int dy);
// A glyph entry's character with a 28-unit stem, for previews of the glyph table.
void DrawGlyphWithStem(DeviceContext& dc, int code, int x, int y);

// The music font's face name.
inline constexpr const char* kMusicFace = "velorin";
// The selection colour.
inline constexpr Color kSelectionColor = 0x00808000;  // red 0, green 128, blue 128

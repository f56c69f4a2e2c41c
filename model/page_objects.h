// Free page objects: texts, links, images, lines, shapes, combinations and
// visual-MIDI instructions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "model/object.h"

constexpr int32_t STYLE_FRAMED = 0x200;

class CXText : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Text;
  CXText() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }

  int8_t Font = 1;
  std::string text = "text";  // GBK bytes
};

class CAngleText : public CXText {
 public:
  static constexpr char kKind = Kind::AngleText;
  CAngleText() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }

  int32_t Escapement = 300;  // tenths of a degree
  int32_t Orientation = 0;
};

class CVisualMidi : public CXText {
 public:
  static constexpr char kKind = Kind::VisualMidi;
  CVisualMidi() { kind_ = kKind; text = "V"; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }

  int Status() const { return Value & 0xFF; }
  // Display name of the packed instruction, UTF-8.
  const char* InstructionName() const;

  int32_t Start = 0;
};

// Not a CXText for IsKind, though it carries the same font and text.
class CXLink : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Link;
  CXLink() { kind_ = kKind; Right = 80; Bottom = 20; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }

  int8_t Font = 1;
  std::string text = "link to";
  std::string href;
};

// A decoded picture; the platform layer provides the concrete type.
class Picture {
 public:
  virtual ~Picture() = default;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
};

class CXImage : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Image;
  CXImage() { kind_ = kKind; Right = 30; Bottom = 32; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }

  std::string source = "image";
  std::string href;
  std::string title;
  std::shared_ptr<Picture> picture;  // not saved
};

class CXLine : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Line;
  CXLine() { kind_ = kKind; }
  bool HitTest(int x, int y) const override;
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void MoveTo(int x, int y) override;
  void ResizeByHandle(int dx, int dy) override;
  bool GetHandleRect(Rect& out, int handle, int half) const override;
  char GetKind() const override { return kKind; }
  // Bounds := the normalised rectangle of the two points.
  void BoundsFromPoints();

  int32_t X = 0, Y = 0, X1 = 0, Y1 = 0;
  int32_t Pen = 0;
};

class CXGraphics : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Graphics;
  CXGraphics() { kind_ = kKind; }
  char GetKind() const override { return kKind; }
};

class CXCombo : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Combo;
  CXCombo() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }

  std::vector<int32_t> Members;  // Numbers of the combined objects
};

// True when |PA| + |PB| < |AB| + 4: the hit test of lines and beams.
bool NearSegment(int px, int py, int ax, int ay, int bx, int by);

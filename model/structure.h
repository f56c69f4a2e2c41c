// Systems, staves, measures, brackets and endings: the frame the music sits in.
#pragma once

#include <vector>

#include "model/object.h"

// Measure style bits.
constexpr int32_t MEASURE_REPEAT_START = 0x001;
constexpr int32_t MEASURE_REPEAT_END = 0x002;
constexpr int32_t MEASURE_DC = 0x004;
constexpr int32_t MEASURE_DS = 0x008;
constexpr int32_t MEASURE_SEGNO = 0x010;
constexpr int32_t MEASURE_FINE = 0x020;
constexpr int32_t MEASURE_ENDING_BEGIN = 0x040;
constexpr int32_t MEASURE_ENDING_END = 0x080;
constexpr int32_t MEASURE_CONTINUATION = 0x100;
constexpr int32_t MEASURE_ZERO_LENGTH = 0x200;

// One system: a horizontal band holding staves and measures.
class CStaff : public CXObject {
 public:
  static constexpr char kKind = Kind::Staff;
  CStaff() { kind_ = kKind; }
  bool HitTest(int x, int y) const override;
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void MoveTo(int x, int y) override;
  char GetKind() const override { return kKind; }

  std::vector<CStave*> Staves;      // by Top; not owned
  std::vector<CMeasure*> Measures;  // by Left; not owned
  int32_t Spacing = 64;
  int32_t Start = 0;  // derived
  int32_t Ticks = 0;  // derived
  CScore* OwnerScore = nullptr;
  int32_t Ordinal = -1;  // scratch of the recalculation: the system's place in object order
};

class CStave : public CXObject {
 public:
  static constexpr char kKind = Kind::Stave;
  CStave() { kind_ = kKind; }
  bool HitTest(int x, int y) const override;
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void MoveTo(int x, int y) override;
  void ResizeByHandle(int dx, int dy) override;
  bool GetHandleRect(Rect& out, int handle, int half) const override;
  char GetKind() const override { return kKind; }

  std::vector<CStaveObject*> Attached;  // by Left; not owned
  int32_t LineSpace = 8;
  int32_t Voice = 0;
  int8_t Channel = 0;
  uint8_t Patch = 255;
  int32_t Staff = -1;
  CStaff* OwnerStaff = nullptr;
};

class CMeasure : public CXObject {
 public:
  static constexpr char kKind = Kind::Measure;
  CMeasure() { kind_ = kKind; }
  bool HitTest(int x, int y) const override;
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void ResizeByHandle(int dx, int dy) override;
  bool GetHandleRect(Rect& out, int handle, int half) const override;
  char GetKind() const override { return kKind; }

  int8_t Numerator = 4;
  int8_t Denominator = 4;
  int32_t Tempo = 600000;  // not saved
  int32_t Start = 0;       // derived
  int32_t Ticks = 0;       // derived
  int32_t Staff = -1;
  CStaff* OwnerStaff = nullptr;
  uint8_t LeftMargin = 4;
  uint8_t RightMargin = 4;
  uint8_t LeftPadding = 4;
  uint8_t RightPadding = 4;
  double UnitsPerTick = 0.0;  // derived
};

class CBracket : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Bracket;
  CBracket() { kind_ = kKind; }
  void ResizeByHandle(int dx, int dy) override;
  bool GetHandleRect(Rect& out, int handle, int half) const override;
  char GetKind() const override { return kKind; }
};

class CEnding : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Ending;
  CEnding() { kind_ = kKind; Value = 1; }
  bool CopyFrom(const CXObject* source) override;
  char GetKind() const override { return kKind; }

  int32_t StartMeasure = 0;  // carried by the text exchange only
  int32_t EndMeasure = 0;
  CMeasure* StartMeasureLink = nullptr;  // derived
  CMeasure* EndMeasureLink = nullptr;
};

// Average character width, in pixels, of the music font at a size in tenths
// of a point. The drawing layer installs the real font metric; until then a
// proportional estimate keeps brackets sensible.
using MusicFontWidthFn = int (*)(int tenthsOfPoint);
void SetMusicFontAverageWidth(MusicFontWidthFn fn);
int MusicFontAverageWidth(int tenthsOfPoint);

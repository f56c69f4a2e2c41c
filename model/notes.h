// Notes, rests and the symbols attached to staves and notes.
#pragma once

#include "model/object.h"

// Note and rest style bits.
constexpr int32_t NTS_FULL_LENGTH = 0x8;
constexpr int32_t NTS_DOTTED = 0x10;
constexpr int32_t NTS_DOUBLE_DOTTED = 0x20;
constexpr int32_t NTS_UPDATE_SHAPE = 0x40;
constexpr int32_t NTS_ACCENT = 0x100;
constexpr int32_t NTS_STACCATO = 0x200;
constexpr int32_t NTS_TENUTO = 0x400;
constexpr int32_t NTS_UPDATE_TICKS = 0x800;
constexpr int32_t NTS_UPDATE_KEY = 0x1000;
constexpr int32_t NTS_UPDATE_PLAYTICKS = 0x2000;
constexpr int32_t NTS_UPDATE_VELOCITY = 0x4000;
constexpr int32_t NTS_MARK_8000 = 0x8000;
constexpr int32_t NTS_GRACE = 0x10000;

// Sign categories (Style of a CSign).
constexpr int32_t SIGN_CLEF = 1;
constexpr int32_t SIGN_TIME = 2;
constexpr int32_t SIGN_KEY = 3;

// Abstract: a symbol with a glyph anchor.
class CXWord : public CStaveObject {
 public:
  static constexpr char kKind = Kind::Word;
  CXWord() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void MoveTo(int x, int y) override;
  char GetKind() const override { return kKind; }

  int32_t X = 0, Y = 0;
};

class CSign : public CXWord {
 public:
  static constexpr char kKind = Kind::Sign;
  CSign() { kind_ = kKind; }
  char GetKind() const override { return kKind; }
  // Sizes the sign's box by its category and code around the placement
  // point (the stave's top line at the sign's left edge).
  void PlaceAt(int x, int y) override;
};

class CMark : public CXWord {
 public:
  static constexpr char kKind = Kind::Mark;
  CMark() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }
  // Anchors the mark at the point and sizes its box around the glyph its
  // type draws.
  void PlaceAt(int x, int y) override;

  int32_t Note = -1;
  CXObject* NoteLink = nullptr;  // not owned
};

class CBeam : public CMark {
 public:
  static constexpr char kKind = Kind::Beam;
  CBeam() { kind_ = kKind; }
  bool HitTest(int x, int y) const override;
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void MoveTo(int x, int y) override;
  char GetKind() const override { return kKind; }

  int32_t X1 = 0, Y1 = 0;
};

class CSlurLine : public CMark {
 public:
  static constexpr char kKind = Kind::Slur;
  CSlurLine() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  void MoveTo(int x, int y) override;
  char GetKind() const override { return kKind; }

  int32_t X1 = 0, Y1 = 0;  // end point
  int32_t X2 = 0, Y2 = 0;  // shaping point
};

class CNote : public CXWord {
 public:
  static constexpr char kKind = Kind::Note;
  CNote() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return kKind; }
  void PlaceAt(int x, int y) override;

  int DurationCode() const { return Value & 0xFF; }
  int TupletCount() const { return (Value >> 8) & 0xFF; }

  int32_t Start = 0;      // derived
  int32_t Ticks = 0;
  int32_t PlayStart = 0;  // derived
  int32_t PlayTicks = 0;
  int32_t dy = 0;
  int32_t Chord = -1;
  int32_t Tie = -1;
  int8_t Voice = 0;
  int8_t Channel = 0;
  uint8_t Key = 0;
  int8_t Head = 0;
  int8_t Stem = 0;
  int8_t Tail = 0;
  uint8_t Velocity = 100;
};

class CRest : public CNote {
 public:
  static constexpr char kKind = Kind::Rest;
  CRest() { kind_ = kKind; }
  char GetKind() const override { return kKind; }
  void PlaceAt(int x, int y) override;
};

class COctaveLine : public CStaveObject {
 public:
  static constexpr char kKind = Kind::OctaveLine;
  COctaveLine() { kind_ = kKind; }
  bool GetHandleRect(Rect& out, int handle, int half) const override;
  char GetKind() const override { return kKind; }
};

// The base of every page item: identity, bounding box, selection, handles,
// and the virtual operations every kind answers. Drawing lives elsewhere;
// the model is data and geometry only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class Archive;
class CScore;
class CStave;
class CMeasure;

struct Rect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  // Left and top edges are inside, right and bottom edges outside.
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const Rect&) const = default;
};

// Kind codes: one byte each, stored in front of every record.
namespace Kind {
constexpr char Object = 'O', StaveObject = 'w', Graphics = 'g', Line = 'L', Word = 'W', Sign = 'G',
               Mark = 'M', Slur = 'S', Beam = 'H', Note = 'N', Rest = 'R', Combo = 'c', OctaveLine = '8',
               Bracket = '{', Text = 'X', VisualMidi = 'v', AngleText = 'a', Image = 'I', Link = 'l',
               Ending = 'E', Staff = 's', Stave = 'T', Measure = 'V', HorizontalLine = '-';
}

class CXObject {
 public:
  static constexpr char kKind = Kind::Object;
  CXObject() = default;
  CXObject(const CXObject&) = delete;
  CXObject& operator=(const CXObject&) = delete;
  virtual ~CXObject() = default;

  // Objects live in pooled storage (see object_pool.h).
  static void* operator new(size_t size);
  static void operator delete(void* p, size_t size);

  // Virtual operations, in their fixed order.
  virtual bool HitTest(int x, int y) const;
  virtual bool CopyFrom(const CXObject* source);
  virtual void Serialize(Archive& ar);
  virtual void MoveTo(int x, int y);
  virtual void ResizeByHandle(int dx, int dy);
  // True for the object's own kind code and the codes of its base classes.
  bool IsKind(char kind) const { return KindTable().Is[kind_][static_cast<uint8_t>(kind)]; }
  virtual bool GetHandleRect(Rect& out, int handle, int half) const;
  virtual char GetKind() const { return Kind::Object; }
  // The same code without a virtual call, for hot loops.
  char KindCode() const { return static_cast<char>(kind_); }
  // Notes and rests size themselves to their glyph around a point.
  virtual void PlaceAt(int x, int y) {}

  void SetBounds(int l, int t, int r, int b);
  Rect GetBounds() const { return {Left, Top, Right, Bottom}; }
  // First handle 1..8 whose hit square (half-size 3) contains the point; 0 if none.
  int HandleAt(int x, int y) const;
  // Handle point of the base rectangle (handles outside 1..8 give (0, 0)).
  void HandlePoint(int handle, int& px, int& py) const;

  int32_t Number = 0;
  int32_t Value = 0;
  int32_t Style = 0;
  int32_t Left = 0, Top = 0, Right = 1, Bottom = 1;
  int32_t Selected = 0;
  int8_t Layer = 0;
  uint8_t ActiveHandle = 0;  // transient, not saved
  uint8_t Transient = 0;     // scratch marks for batch operations of the score

 protected:
  uint8_t kind_ = static_cast<uint8_t>(Kind::Object);  // the class's kind code, set by each constructor

 private:
  struct KindMatrix {
    bool Is[256][256];
  };
  static const KindMatrix& KindTable();
};

// Base of every object that sits on a stave and in a measure.
class CStaveObject : public CXObject {
 public:
  static constexpr char kKind = Kind::StaveObject;
  CStaveObject() { kind_ = kKind; }
  bool CopyFrom(const CXObject* source) override;
  void Serialize(Archive& ar) override;
  char GetKind() const override { return Kind::StaveObject; }

  int32_t Stave = -1;
  int32_t Measure = -1;
  CStave* OwnerStave = nullptr;      // not owned
  CMeasure* OwnerMeasure = nullptr;  // not owned
};

// The factory: a new object of the kind's class with its defaults, or nullptr
// for abstract kinds and codes outside the table.
std::unique_ptr<CXObject> CreateObject(int kind);
// Class name of a kind code; only the low byte counts.
const char* KindName(int kind);
// Parent kind in the class tree (0 for the root and unknown codes).
char ParentKind(char kind);

// Exact downcast by kind check; returns nullptr when the object is not of
// that kind (or one derived from it).
template <typename T>
T* As(CXObject* o) {
  return (o && o->IsKind(T::kKind)) ? static_cast<T*>(o) : nullptr;
}
template <typename T>
const T* As(const CXObject* o) {
  return (o && o->IsKind(T::kKind)) ? static_cast<const T*>(o) : nullptr;
}

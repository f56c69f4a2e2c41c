// One score in memory: settings, the layer, pen and font tables, the owning
// object list and the derived structure (systems with their staves and
// measures, each stave with its attached objects).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/notes.h"
#include "model/object.h"
#include "model/page_objects.h"
#include "model/structure.h"

class Archive;
struct DerivedCache;

constexpr uint32_t kScoreVersion = 0x03080000;

// One entry of an object list in the score stream: the kind byte, then the
// object's record. Score files, journal snapshots and clipboard payloads
// share it.
void StoreObjectEntry(Archive& ar, CXObject& object);
// Reads one entry (the index names it in error texts). An unknown kind or an
// early end raises ArchiveError.
std::unique_ptr<CXObject> LoadObjectEntry(Archive& ar, size_t index);
// The smallest entry (kind byte and base part): counts read from a stream
// are checked against it before anything is allocated.
constexpr uint64_t kMinObjectEntry = 1 + 33;

struct CLayer {
  int32_t Color = 0;  // 0x00BBGGRR
  int32_t Style = 1;  // 0x1 visible, 0x2 locked
  bool operator==(const CLayer&) const = default;
};
constexpr int32_t LAYER_VISIBLE = 0x1;
constexpr int32_t LAYER_LOCKED = 0x2;

// A logical pen: 16 bytes in the file.
struct LogPen {
  uint32_t Style = 0;  // 0 solid
  int32_t WidthX = 1;
  int32_t WidthY = 0;
  uint32_t Color = 0;
  bool operator==(const LogPen&) const = default;
};

// A logical font description: 60 bytes in the file, kept byte for byte.
struct LogFont {
  int32_t Height = 0, Width = 0, Escapement = 0, Orientation = 0, Weight = 0;
  uint8_t Italic = 0, Underline = 0, StrikeOut = 0, CharSet = 0;
  uint8_t OutPrecision = 0, ClipPrecision = 0, Quality = 0, PitchAndFamily = 0;
  char FaceName[32] = {};
  std::string Face() const;  // up to the first zero byte (GBK bytes)
  void SetFace(const std::string& face);
  bool operator==(const LogFont&) const = default;
  // A point-size screen font as a 96-dpi display makes it.
  static LogFont PointFont(int tenthsOfPoint, const std::string& face);
};

class CScore {
 public:
  CScore();
  CScore(const CScore&) = delete;
  CScore& operator=(const CScore&) = delete;
  ~CScore();

  // --- settings (saved in the header) ---
  char FileType[4] = {'S', 'C', 'O', 'R'};
  uint32_t Version = kScoreVersion;
  int32_t PaperWidth = 600;
  int32_t PaperHeight = 800;
  int32_t LeftMargin = 52;
  int32_t TopMargin = 52;
  int32_t StaveSpace = 68;
  int32_t SystemSpace = 40;
  int32_t LineSpace = 8;
  int32_t TimeBase = 240;
  int32_t Tempo = 600000;
  int8_t Numerator = 4;
  int8_t Denominator = 4;
  int8_t Layer = 0;
  uint8_t ReservedByte = 0;
  int8_t Font = 1;
  int8_t Voice = 0;
  int32_t SnapRadius = 5;
  int32_t UpperNumber = 0;

  // --- run-time state ---
  std::string FilePath;
  int32_t SelectedCount = 0;
  CStave* CurrentStave = nullptr;
  int32_t CurrentStaveNumber = -1;
  CMeasure* CurrentMeasure = nullptr;
  int32_t CurrentMeasureNumber = -1;
  int32_t ExtentWidth = 600;
  int32_t ExtentHeight = 800;
  int32_t PageRightMargin = 20;
  bool AutoUpdate = true;
  // Style given to new notes: the automatic-update flags, plus the dotted or
  // double-dotted bit while the view's dot tools are on.
  int32_t InsertStyle =
      NTS_UPDATE_SHAPE | NTS_UPDATE_TICKS | NTS_UPDATE_KEY | NTS_UPDATE_PLAYTICKS | NTS_UPDATE_VELOCITY;
  // Options of the editor (not saved): beams drawn level instead of following the notes.
  bool FlatBeams = false;
  CXObject* LastCaptured = nullptr;
  // Why the last editing operation refused ("-1:..."), for the view to show.
  std::string LastError;

  // --- tables ---
  std::vector<CLayer> Layers;
  std::vector<LogPen> Pens;
  std::vector<LogFont> Fonts;

  // --- derived structure ---
  std::vector<CStaff*> Staffs;  // top to bottom; not owned

  // --- objects ---
  size_t ObjectCount() const { return objects_.size(); }
  CXObject* GetObject(size_t index) const { return index < objects_.size() ? objects_[index].get() : nullptr; }
  const std::vector<std::unique_ptr<CXObject>>& Objects() const { return objects_; }
  const CLayer* GetLayer(size_t index) const { return index < Layers.size() ? &Layers[index] : nullptr; }

  // Destroys every layer, font, pen and object; numbering restarts at 0.
  void Clear();
  // Numbers the object from UpperNumber and appends it; returns its index.
  size_t AddObject(std::unique_ptr<CXObject> object);
  // As AddObject, then attaches the object to a stave (before the first
  // attached object whose Left is not smaller) and a measure.
  size_t AddAttachedObject(CStave* stave, CMeasure* measure, std::unique_ptr<CXObject> object);
  // Appends an object keeping its Number (loading, import, paste).
  size_t AppendObjectKeepingNumber(std::unique_ptr<CXObject> object);
  // First object with that Number, in object order.
  CXObject* FindByNumber(int32_t number) const;
  // Call after changing the Number of an object already in the score.
  void InvalidateNumberIndex() { indexDirty_ = true; }
  // Puts the objects into a new order (the drawing order); `order` must hold
  // every object exactly once, else nothing changes and the result is false.
  // Where the lists of systems, staves, measures and attached objects hold
  // objects with equal keys, those are put in the order a reload of the score
  // would give them.
  bool SetObjectOrder(const std::vector<CXObject*>& order);

  bool RemoveObject(CXObject* object);
  bool DeleteSelected();
  // Removes every object marked with MarkForRemoval, clearing every link to them.
  size_t RemoveMarkedObjects();
  static void MarkForRemoval(CXObject* o) { o->Transient |= 1; }

  bool SetInsertionPoint(int x, int y);
  void SetCurrent(CStave* stave, CMeasure* measure);

  // Makes a stave in a system at y / a measure whose bar line is at x.
  CStave* MakeStave(CStaff* system, int y);
  CMeasure* MakeMeasure(CStaff* system, int x);

  void RelinkObjects();
  // Brings coordinates and spacings that lie far off any page (a damaged
  // file) back within reach, so that layout arithmetic cannot overflow.
  // Opening a file runs it (loading itself keeps every value, so snapshots
  // restore exactly); anything the program makes lies well inside.
  void ClampGeometry();
  // The recalculation pass: structure, time signatures, pitches, times,
  // velocities, articulations and tempo from positions and codes. Does
  // nothing while AutoUpdate is false.
  void UpdateDerived();
  // The same results after an edit that only added, moved or changed notes
  // and rests on the given staves (and moved marks with them), since the
  // last pass: only what those can reach is worked out again. Falls back to
  // UpdateDerived (returning false) when the last pass left nothing to build
  // on or the edit reached further than it can follow.
  bool UpdateDerivedOnStaves(const std::vector<CStave*>& staves);
  // Forgets what the last pass left for UpdateDerivedOnStaves.
  void DropDerivedCache();
  // UpdateDerived, then every measure's LeftPadding and UnitsPerTick.
  void AfterLoad();
  int ClampFontIndexes();
  int ClampLayerIndexes();
  void ComputeExtent();
  // Recounts SelectedCount from the objects' flags.
  void RecountSelection();

  // The default layer, pen and font tables of a new document.
  void ResetDefaultTables();

  // --- storage ---
  void Serialize(Archive& ar);
  bool SaveToFile(const std::string& path, std::string* error = nullptr);
  static uint32_t PeekVersion(const std::string& path);
  // Loads into a fresh score and swaps it in on success; on any failure the
  // score is left exactly as it was and *error says why.
  bool LoadFromFile(const std::string& path, std::string* error = nullptr);
  std::vector<uint8_t> SnapshotToBytes();
  bool RestoreFromBytes(const uint8_t* data, size_t size, std::string* error = nullptr);
  bool RestoreFromBytes(const std::vector<uint8_t>& bytes, std::string* error = nullptr) {
    return RestoreFromBytes(bytes.data(), bytes.size(), error);
  }

 private:
  std::unique_ptr<DerivedCache> derivedCache_;  // what the last pass left for a local one
  void IoHeader(Archive& ar);
  void LoadBody(Archive& ar);
  void StoreBody(Archive& ar);
  // Moves the saved content of another score into this one.
  void TakeContentFrom(CScore& other);
  void ResetRunTimeLinks();
  void RebuildIndex() const;
  void IndexAdd(CXObject* o) const;

  std::vector<std::unique_ptr<CXObject>> objects_;
  // Number -> first object with that number. Dense part for the usual
  // 0..UpperNumber range, a map for anything else.
  mutable std::vector<CXObject*> denseIndex_;
  mutable std::unordered_map<int32_t, CXObject*> sparseIndex_;
  mutable bool indexDirty_ = false;
};

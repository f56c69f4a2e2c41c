// Per-kind lists gathered once at the start of the recalculation pass, so
// that each step walks only the objects it reads.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "model/score.h"

struct DerivedLists {
  std::vector<CStave*> staves;
  std::vector<CMeasure*> measures;
  std::vector<CNote*> notes;  // notes and rests, object order
  std::vector<CBeam*> beams;
  std::vector<CMark*> marks;  // marks, slurs and beams
  std::vector<CSign*> timeSigns;
  std::vector<CXText*> texts;  // texts, angle texts, visual-MIDI objects
  std::vector<CXObject*> wedges;  // plain and graphics wedges (Value 0 or 1)
  std::vector<CXCombo*> combos;
  std::vector<CEnding*> endings;
  std::vector<CStaff*> systems;  // object order

  void Gather(const CScore& score);
};

// What the dynamics and articulation steps need of every note, gathered in
// the one walk over all notes that also sets the play times.
struct NoteKeys {
  struct Timed {
    int64_t key;  // Start in the high half, object order in the low half
    CNote* note;
    const CStave* stave;  // the note's stave (may be null)
  };
  struct Placed {
    uint64_t sortKey;  // the system's ordinal, then Left
    uint32_t pos;      // object order among the notes, then list position
    int32_t x;         // the note's X
    static uint64_t Key(int32_t ordinal, int32_t left) {
      return uint64_t(uint32_t(ordinal)) << 32 | (uint32_t(left) ^ 0x80000000u);
    }
    int32_t Left() const { return int32_t(uint32_t(sortKey) ^ 0x80000000u); }
    bool operator<(const Placed& o) const { return sortKey != o.sortKey ? sortKey < o.sortKey : pos < o.pos; }
  };
  std::vector<Timed> timed;          // notes of kind 'N'
  std::vector<Placed> byLeft;        // those of them on a stave of a system
  int64_t maxXOffset = 0;            // the largest |X - Left| of any note or rest

  void Clear() {
    timed.clear();
    byLeft.clear();
    maxXOffset = 0;
  }
  // Files one note (after its play times are set).
  void Add(CNote* n) {
    maxXOffset = std::max<int64_t>(maxXOffset, std::llabs(int64_t(n->X) - n->Left));
    if (n->KindCode() != Kind::Note) return;
    const uint32_t order = static_cast<uint32_t>(timed.size());
    timed.push_back({int64_t(n->Start) << 32 | order, n, n->OwnerStave});
    if (n->OwnerStave && n->OwnerStave->OwnerStaff) {
      byLeft.push_back({Placed::Key(n->OwnerStave->OwnerStaff->Ordinal, n->Left), order, n->X});
    }
  }
};

// What a pass worked out that the pass after a local edit builds on: every
// note in Start order with the hairpin marks on it and the level it got,
// where each text and hairpin was found, the tie chains and a bound on how
// far a note's X lies from its Left.
struct DerivedCache {
  struct Timed {
    int64_t key;  // Start in the high half, object order in the low half
    CNote* note;
    const CStave* stave;  // the stave it was filed under (may be null)
    int32_t offset;       // its place on a hairpin's ramp
    int16_t level;        // the level it was given
    uint8_t marks;        // 1 a hairpin starts on it, 2 one ends on it
  };
  struct Text {
    int32_t system = -1;  // the ordinal of the system it stands in, or -1
    bool anchored = false;
    int32_t anchorStart = 0;  // the Start it takes effect at
    bool dynamic = false;
    int16_t level = 0;
  };
  struct Tied {
    int32_t tie;
    int32_t ticks;
    CNote* note;
    const CStave* stave;  // the stave list it was found in (null: none)
  };
  std::vector<Timed> timed;           // by key
  std::vector<Text> texts;            // in the order of DerivedLists::texts
  std::vector<int32_t> wedgeSystems;  // in the order of DerivedLists::wedges
  std::vector<Tied> tied;             // by tie
  struct Box {
    Rect box;  // what a beam end finds the note by
    CNote* note;
    const CStave* stave;  // the note's stave when filed
  };
  std::vector<Box> boxes;  // every note and rest, in object order
  struct BeamEnds {
    CBeam* beam;
    int32_t x, y, x1, y1;
  };
  std::vector<BeamEnds> beams;  // in object order
  uint32_t nextOrder = 0;             // object order given to the next new note
  size_t systemCount = 0;
  bool valid = false;  // dropped caches keep their memory for the next pass
  int64_t maxXOffset = 0;
};

// Every beam takes the stave and measure of the last note, in object order,
// whose box holds one of its ends; the boxes and ends are filed in `cache`.
// Staves whose lists or beams changed are added to `changed` when given.
void AttachBeams(const DerivedLists& lists, DerivedCache& cache, std::vector<const CStave*>* changed = nullptr);
// The same after notes and rests on the `edited` staves (sorted) were added
// or changed and marks moved: only the beams that moved, or whose ends lie
// in a box that changed, look again. False when the edit reached further
// (then AttachBeams must file the boxes anew).
bool AttachBeamsLocally(const DerivedLists& lists, DerivedCache& cache, const std::vector<CStave*>& edited,
                        std::vector<const CStave*>& changed);

// Transient bit of a note filed in the cache by the last pass.
constexpr uint8_t kFiledInCache = 4;

// Entries by Start, object order kept among equal Starts (linear time for
// large lists).
void SortByStart(std::vector<NoteKeys::Timed>& v);
// Articulation bits from marks onto the notes of their staves. No note's X
// lies further than maxXOffset from its Left. Notes that gained a bit are
// added to `gained` when given.
void ApplyArticulationMarks(const DerivedLists& lists, int64_t maxXOffset, std::vector<CNote*>* gained = nullptr);
// Velocities from dynamics words and wedges, then the articulations' effect
// on play lengths and velocities; files what it found in `cache`.
void ComputeVelocities(const DerivedLists& lists, NoteKeys& keys, DerivedCache& cache);
// The same after a local edit: the notes of the staves in `redo` (sorted)
// are filed again, the texts and hairpins of their systems found again,
// and only notes whose level changed, the notes of those staves and the
// notes in `again` are given their velocities and articulations anew.
// False when the lists no longer match the cache (nothing is changed then
// but the cache, which must be dropped).
bool UpdateVelocitiesLocally(const DerivedLists& lists, DerivedCache& cache, const std::vector<const CStave*>& redo,
                             const std::vector<CNote*>& again);
// Staccato halves and tenuto restores what a note plays; an accent plays at 120.
void Articulate(CNote* n, int velocity, bool setVelocity);

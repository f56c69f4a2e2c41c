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
    timed.push_back({int64_t(n->Start) << 32 | order, n});
    if (n->OwnerStave && n->OwnerStave->OwnerStaff) {
      byLeft.push_back({Placed::Key(n->OwnerStave->OwnerStaff->Ordinal, n->Left), order, n->X});
    }
  }
};

// Entries by Start, object order kept among equal Starts (linear time for
// large lists).
void SortByStart(std::vector<NoteKeys::Timed>& v);
// Articulation bits from marks onto the notes of their staves.
void ApplyArticulationMarks(const DerivedLists& lists, NoteKeys& keys);
// Velocities from dynamics words and wedges, then the articulations' effect
// on play lengths and velocities.
void ComputeVelocities(const DerivedLists& lists, NoteKeys& keys);

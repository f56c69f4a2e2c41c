// Helpers the note operations share: walking the selection, staves in order,
// stem lengths that fit their byte.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "model/score.h"

namespace note_select {

// Selected notes (exact kind 'N'), or notes and rests, in object order.
inline std::vector<CNote*> SelectedNotes(const CScore& score, bool withRests) {
  std::vector<CNote*> out;
  for (const auto& up : score.Objects()) {
    CXObject* o = up.get();
    if (!o->Selected) continue;
    const char kind = o->KindCode();
    if (kind == Kind::Note || (withRests && kind == Kind::Rest)) out.push_back(static_cast<CNote*>(o));
  }
  return out;
}

// The staves of every system, systems top to bottom, staves by Top.
inline std::vector<CStave*> StavesInOrder(const CScore& score) {
  std::vector<CStave*> out;
  for (CStaff* staff : score.Staffs)
    for (CStave* s : staff->Staves) out.push_back(s);
  return out;
}

// Selected notes (or notes and rests) of a stave, in stave order.
inline void SelectedOfStave(const CStave& stave, bool withRests, std::vector<CNote*>& out) {
  out.clear();
  for (CStaveObject* o : stave.Attached) {
    if (!o->Selected) continue;
    const char kind = o->KindCode();
    if (kind == Kind::Note || (withRests && kind == Kind::Rest)) out.push_back(static_cast<CNote*>(o));
  }
}

// Stem lengths are stored in a signed byte.
inline int8_t StemLength(double v) {
  return static_cast<int8_t>(std::clamp<long>(std::lround(v), -127, 127));
}

inline bool IsSmall(const CNote* n) { return (n->Style & NTS_GRACE) != 0; }
// Single, or the leader of its chord.
inline bool IsChordLeaderOrSingle(const CNote* n) { return n->Chord < 0 || n->Chord == n->Number; }
// Untied, or the first note of its tie chain.
inline bool IsTieFirstOrUntied(const CNote* n) { return n->Tie < 0 || n->Tie == n->Number; }

}  // namespace note_select

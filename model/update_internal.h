// Per-kind lists gathered once at the start of the recalculation pass, so
// that each step walks only the objects it reads.
#pragma once

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

void ComputeVelocities(CScore& score, const DerivedLists& lists);
void ComputeArticulations(CScore& score, const DerivedLists& lists);

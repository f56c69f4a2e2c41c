// Steps of the recalculation pass and the measure scale, callable one by one
// (the editor runs some of them after single operations).
#pragma once

#include <cstdint>
#include <vector>

class CScore;
class CBeam;
class CNote;
class CMeasure;
class CStave;
class CVisualMidi;

// Tempo words ("Allegro", ...) as microseconds per quarter; 0 when the text
// is not a tempo word. "Grave" matches with case, the others without.
int32_t TempoOfWord(const char* text, size_t length);

// The natural note a head names by where it stands: `dy` units below the top
// line of a stave under clef 0 (treble), 1 (bass) or 2 (alto). Step counts
// staff positions upwards, F first (Step % 7: F G A B C D E); Key is the
// natural's MIDI key. False where the position lies beyond the keys.
struct StaffNatural {
  int Step = 0;
  int Key = 0;
};
inline bool NaturalAtPosition(int clef, int32_t dy, StaffNatural& out) {
  constexpr int kClefBase[3] = {42, 30, 36};
  constexpr int kNaturalOffsets[7] = {0, 2, 4, 6, 7, 9, 11};
  const int a = kClefBase[clef] - dy / 4;
  if (a < 1 || a > 127) return false;
  out.Step = a;
  out.Key = kNaturalOffsets[a % 7] + 12 * (a / 7) + 5;
  return true;
}

// Length in ticks of a measure of num/den at a resolution (0 for den 0).
int32_t MeasureTicks(int32_t timeBase, int numerator, int denominator);

// Measure scale: LeftPadding from the widest run of signs over the system's
// staves, then UnitsPerTick over the note area.
void ComputeLeftPadding(CMeasure& measure);
void ComputeUnitsPerTick(CMeasure& measure);
// x of a start tick inside a measure.
int TickToX(const CMeasure& measure, int32_t tick);
// Moves the notes of a stave to the x of their start ticks; chords move as a
// block with their leader, marks with their notes.
void RespaceStave(CScore& score, CStave& stave);
// The same for the notes of one measure only, on every stave of its system.
void RespaceMeasure(CScore& score, CMeasure& measure);
// A beam's ends stand on stems: the note under each end and the distance
// from its anchor, taken before notes move, so the ends can follow them.
struct BeamEndAnchor {
  CBeam* Beam = nullptr;
  CNote* Start = nullptr;
  int StartOffset = 0;
  CNote* End = nullptr;
  int EndOffset = 0;
};
// The beams attached to the staves, with the notes of those staves nearest
// each end (within a hook's reach; a hook's free end goes with its note).
std::vector<BeamEndAnchor> AnchorBeamEnds(const std::vector<CStave*>& staves);
// Puts each beam end back on its note's stem; the beam keeps its heights.
void FollowBeamEnds(const std::vector<BeamEndAnchor>& anchors);
// Start of a visual-MIDI object from the nearest note on its stave.
void ComputeVisualMidiStart(CVisualMidi& object);

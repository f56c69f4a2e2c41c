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

// Helpers the note-menu commands share: dots and written lengths, chords and
// voice lines, marks by note, moving notes with what hangs on them, ties.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/score.h"

namespace note_commands_detail {

constexpr int kStem = 28;
constexpr int kHook = 8;
constexpr int kDotTypes[] = {16, 17};
constexpr int32_t kDotBits = NTS_DOTTED | NTS_DOUBLE_DOTTED;

// Staves ordered by Number (and then a second key), so that what a command
// makes is made, and numbered, in the same order in every run.
// Staves that share a Number (a damaged score) stay apart.
struct ByNumber {
  bool operator()(const CXObject* a, const CXObject* b) const {
    return a->Number != b->Number ? a->Number < b->Number : std::less<const CXObject*>()(a, b);
  }
};
struct StaveKeyLess {
  template <typename T>
  bool operator()(const std::pair<CStave*, T>& a, const std::pair<CStave*, T>& b) const {
    if (a.first != b.first) return ByNumber()(a.first, b.first);
    return a.second < b.second;
  }
};

// Leaves the refusal text and returns 0.
int Fail(CScore& score, const char* text);

bool IsDotMark(const CXObject* o);
// Dots of a note: 0, 1 or 2 (the single dot wins when both bits are set).
int DotsOf(const CNote* n);
int32_t DotBitsFor(int dots);
bool IsWholeMeasureRest(const CNote* n);

// Ticks of a written value as the recalculation computes them (no grace
// factor); -1 for tuplet counts it has no rule for.
int64_t NotatedTicks(int32_t timeBase, int code, int dots, int tuplet);

// Chord partners of a note on its stave (the note itself included).
std::vector<CNote*> ChordOf(CNote* n);

// Head, flag and box of a note or rest after its duration code changed from
// `oldCode`.
void ShapeForCode(CNote* n, int oldCode);

// The marks bound to each note, gathered once for a command.
class MarkIndex {
 public:
  explicit MarkIndex(const CScore& score);
  const std::vector<CMark*>& Of(const CXObject* o) const;
  void Add(CMark* m);

 private:
  std::unordered_map<const CXObject*, std::vector<CMark*>> byNote_;
};

// Replaces the dot marks bound to a note by one for its current dots.
void RedoDotMarks(CScore& score, MarkIndex& marks, CNote* n);
// Marks a note or rest and its bound marks for removal.
void DoomWithMarks(const MarkIndex& marks, CNote* n);

// The selected notes (or notes and rests) of the first selected one's stave,
// in stave order, checked to lie in one measure; PlayInSequence's refusals.
bool OneMeasureSelection(CScore& score, bool withRests, std::vector<CNote*>& notes);

// Notes and rests that take time in their voice: single notes and chord
// leaders, not grace notes.
bool TakesTime(const CNote* n);
std::vector<CNote*> TimeTakers(const std::vector<CNote*>& notes);
// The notes and rests of one voice in a measure of a stave that take time,
// in stave order, leaving out those marked for removal.
std::vector<CNote*> VoiceLine(const CStave& stave, const CMeasure* measure, int voice);
// Whether notes of one voice line follow each other in it with nothing between.
bool Consecutive(const std::vector<CNote*>& notes);

// The y of a beam's line at x (its start y for a vertical one).
double BeamYAt(const CBeam* b, double x);
// A partial beam of one note.
bool IsHook(const CBeam* b);

// Moves notes and rests horizontally. Chord partners of a moved leader,
// marks bound to moved notes, the beam ends at their stems and accidental
// signs standing just before their heads move along.
void MoveNotes(CScore& score, const std::unordered_map<CNote*, int>& moves);

// Beam groups holding any of the notes are beamed again from their notes'
// current values: runs of eighths and shorter get new beams, a note or chord
// of a quarter or longer (or left alone in a run) its own stem and flag.
// Defined with the beam commands.
void RebeamGroupsWith(CScore& score, const std::vector<CNote*>& notes);

// Every tie chain is led by a live note whose Tie is its own Number, and has
// at least two notes; chains that lost their first note are led by their
// earliest note, single leftovers are untied.
void TidyTies(CScore& score);

}  // namespace note_commands_detail

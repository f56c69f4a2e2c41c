// Chords: grouping the selected notes by position and laying a chord out.
#include "editing/chords.h"

#include <algorithm>

#include "editing/note_ops.h"
#include "editing/note_select.h"
#include "model/score.h"

using namespace note_select;

namespace {

// Notes closer than this to a group's first note stand in one chord.
constexpr int kChordReach = 13;
// A head this close below its neighbour is a second (or a unison) and moves aside.
constexpr int kSecond = 7;
constexpr int kHeadShift = 8;
constexpr int kStem = 28;

void ByY(std::vector<CNote*>& notes) {
  std::stable_sort(notes.begin(), notes.end(), [](const CNote* a, const CNote* b) { return a->Y < b->Y; });
}

// Calls make on every group of two or more selected notes of each stave.
// Returns the number of chords made; with no note selected, the refusal text.
template <typename Make>
int ForEachChordGroup(CScore& score, Make make) {
  score.LastError.clear();
  const size_t selected = SelectedNotes(score, false).size();
  if (selected < 2) {
    score.LastError = selected == 0 ? kErrNoNote : kErrFewerThanTwo;
    return 0;
  }
  int made = 0;
  std::vector<CNote*> notes, group;
  for (CStave* stave : StavesInOrder(score)) {
    SelectedOfStave(*stave, false, notes);
    group.clear();
    auto close = [&] {
      if (group.size() >= 2) {
        make(group);
        ++made;
      }
      group.clear();
    };
    for (CNote* n : notes) {
      if (!group.empty() && std::abs(int64_t(n->X) - group.front()->X) >= kChordReach) close();
      group.push_back(n);
    }
    close();
  }
  return made;
}

}  // namespace

void LayoutChord(CScore& score, std::vector<CNote*> notes) {
  std::erase(notes, nullptr);
  if (notes.size() < 2) return;
  ByY(notes);
  CNote* top = notes.front();
  CNote* bottom = notes.back();
  const size_t count = notes.size();

  for (CNote* n : notes) {
    n->Chord = top->Number;
    const int code = n->DurationCode();
    n->Tail = static_cast<int8_t>(code > 3 ? code - 3 : 0);
  }

  // One long stem through the chord: from the bottom note up, or from the top
  // note down.
  const bool up = top->Stem < 0;
  const int64_t span = int64_t(bottom->Y) - top->Y + kStem;
  CNote* stemNote = up ? bottom : top;
  stemNote->Stem = StemLength(static_cast<double>(up ? -span : span));
  if (stemNote->DurationCode() > 3) stemNote->Head = 3;

  // Heads in one column; of adjacent seconds every other one moves to the
  // other side of the stem (left of a stem down, right of a stem up).
  const int column = top->Left;
  bottom->Left = column;
  std::vector<bool> shifted(count, false);
  auto place = [&](size_t i, size_t previous) {
    CNote* n = notes[i];
    n->Left = column;
    n->Stem = 0;
    if (n->DurationCode() > 3) n->Head = 3;
    if (std::abs(int64_t(n->Y) - notes[previous]->Y) <= kSecond && !shifted[previous]) {
      n->Left = up ? column + kHeadShift : column - kHeadShift;
      shifted[i] = true;
    }
  };
  if (!up) {
    for (size_t i = 1; i < count; ++i) place(i, i - 1);
  } else {
    for (size_t i = count - 1; i-- > 0;) place(i, i + 1);
  }

  // The note at the stem's end carries the flag.
  size_t flag = up ? 0 : count - 1;
  if (shifted[flag]) flag = up ? 1 : count - 2;
  CNote* flagNote = notes[flag];
  flagNote->Stem = static_cast<int8_t>(up ? -kStem : kStem);
  flagNote->Head = static_cast<int8_t>(flagNote->DurationCode());

  for (CNote* n : notes) n->PlaceAt(n->Left, n->Y);
}

int MakeChords(CScore& score) {
  return ForEachChordGroup(score, [&](std::vector<CNote*>& group) { LayoutChord(score, group); }) > 0;
}

int JoinChords(CScore& score) {
  return ForEachChordGroup(score, [](std::vector<CNote*>& group) {
           ByY(group);
           for (CNote* n : group) n->Chord = group.front()->Number;
         }) > 0;
}

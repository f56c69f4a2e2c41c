// Grace notes: small notes that borrow their time from a main note of the
// same measure, before or after it, and are beamed together.
#include <algorithm>

#include "editing/note_ops.h"
#include "editing/note_select.h"
#include "model/score.h"

using namespace note_select;

namespace {

// A note that can lend time to grace notes, or whose time is counted: not a
// small note, single or its chord's leader, untied or its tie chain's head.
bool IsMainCandidate(const CNote* n) { return !IsSmall(n) && IsChordLeaderOrSingle(n) && IsTieFirstOrUntied(n); }

bool CountsAsGrace(const CNote* n) { return IsSmall(n) && IsChordLeaderOrSingle(n) && IsTieFirstOrUntied(n); }

// Shortens the main note by the time of the grace notes, never below a tick,
// and locks its length.
void LendTime(CNote& main, const std::vector<CNote*>& graces) {
  for (const CNote* g : graces) {
    if (!CountsAsGrace(g)) continue;
    main.Ticks = static_cast<int32_t>(std::max<int64_t>(int64_t(main.Ticks) - g->Ticks, 1));
  }
  main.Style &= ~NTS_UPDATE_TICKS;
}

template <typename F>
void ForChordMembers(const CStave& stave, const CNote& leader, F f) {
  if (leader.Chord != leader.Number) return;
  for (CStaveObject* o : stave.Attached)
    if (o->KindCode() == Kind::Note && o != &leader && static_cast<CNote*>(o)->Chord == leader.Number)
      f(*static_cast<CNote*>(o));
}

// The selected notes converted to grace notes, and those of the first one's
// stave in stave order. Returns 0 (with the refusal text) when none is selected.
int Convert(CScore& score, CStave*& stave, std::vector<CNote*>& graces) {
  score.LastError.clear();
  std::vector<CNote*> selected = SelectedNotes(score, false);
  if (selected.empty()) {
    score.LastError = kErrNoNote;
    return 0;
  }
  if (!MakeGraceNotes(score, selected)) return 0;
  stave = selected.front()->OwnerStave;
  graces.clear();
  if (stave) SelectedOfStave(*stave, false, graces);
  return 1;
}

}  // namespace

int MakeGraceNotes(CScore& score, const std::vector<CNote*>& notes) {
  if (notes.empty()) return 0;
  for (const CNote* n : notes)
    if (!n) return 0;
  const bool several = notes.size() > 1;
  for (CNote* n : notes) {
    n->Style = (n->Style & ~NTS_UPDATE_SHAPE) | NTS_GRACE | NTS_FULL_LENGTH;
    const int code = n->DurationCode();
    if (several) n->Head = static_cast<int8_t>(code > 4 ? 10 : 9);
    else if (code == 4) n->Head = 9;  // the slashed grace eighth
  }
  return 1;
}

int MakeBeforeGraceNotes(CScore& score) {
  CStave* stave = nullptr;
  std::vector<CNote*> graces;
  if (!Convert(score, stave, graces)) return 0;
  if (graces.empty()) return 1;
  const CNote* first = graces.front();
  const auto& list = stave->Attached;
  CNote* main = nullptr;
  for (auto it = std::find(list.begin(), list.end(), first); it != list.end(); ++it) {
    if ((*it)->KindCode() != Kind::Note || *it == first) continue;
    auto* n = static_cast<CNote*>(*it);
    if (n->OwnerMeasure == first->OwnerMeasure && IsMainCandidate(n)) {
      main = n;
      break;
    }
  }
  if (!main) return 1;
  // The grace notes' own (quartered) lengths are what the main note gives up.
  score.UpdateDerived();
  LendTime(*main, graces);
  ForChordMembers(*stave, *main, [&](CNote& m) {
    m.Ticks = main->Ticks;
    m.Style &= ~NTS_UPDATE_TICKS;
  });
  score.UpdateDerived();
  BeamNotes(score, graces);
  return 1;
}

int MakeAfterGraceNotes(CScore& score) {
  CStave* stave = nullptr;
  std::vector<CNote*> graces;
  if (!Convert(score, stave, graces)) return 0;
  if (graces.empty()) return 1;
  const CNote* first = graces.front();
  const auto& list = stave->Attached;
  CNote* main = nullptr;
  for (auto it = std::find(list.rbegin(), list.rend(), first); it != list.rend(); ++it) {
    if ((*it)->KindCode() != Kind::Note || *it == first) continue;
    auto* n = static_cast<CNote*>(*it);
    if (n->OwnerMeasure != first->OwnerMeasure) break;  // only within the measure
    if (IsMainCandidate(n)) {
      main = n;
      break;
    }
  }
  if (!main) return 1;
  score.UpdateDerived();
  LendTime(*main, graces);
  // The main note's shortened sound, then its chord sounds exactly as long.
  score.UpdateDerived();
  ForChordMembers(*stave, *main, [&](CNote& m) {
    m.PlayStart = main->PlayStart;
    m.PlayTicks = main->PlayTicks;
    m.Style = (m.Style & ~NTS_UPDATE_PLAYTICKS) | NTS_FULL_LENGTH;
  });
  BeamNotes(score, graces);
  return 1;
}

#include "editing/tie_arcs.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "editing/edit_util.h"
#include "model/score.h"

using namespace editing;

bool IsTieArc(const CSlurLine& s, const CNote& a, const CNote& b) {
  auto near = [](int u, int v) { return std::abs(u - v) <= 6; };
  // From a (to b, or to the end of a's system) ...
  if (s.NoteLink == &a && near(s.X, a.X + 9) && std::abs(s.Y - a.Y) <= 12 &&
      (near(s.X1, b.X + 1) || (a.OwnerStave && a.OwnerStave->OwnerStaff && near(s.X1, a.OwnerStave->OwnerStaff->Right - 2))))
    return true;
  // ... or, past a system break, into b.
  return s.NoteLink == &b && &a != &b && a.OwnerStave && b.OwnerStave && a.OwnerStave->OwnerStaff != b.OwnerStave->OwnerStaff &&
         near(s.X1, b.X + 1) && s.X < s.X1 && std::abs(s.Y1 - b.Y) <= 12;
}

void RemoveTieArcs(CScore& score, const std::vector<std::pair<CNote*, CNote*>>& pairs) {
  if (pairs.empty()) return;
  std::vector<CSlurLine*> gone;
  for (const auto& up : score.Objects())
    if (auto* s = As<CSlurLine>(up.get()); s && s->KindCode() == Kind::Slur && s->NoteLink)
      for (const auto& [a, b] : pairs)
        if (a && b && IsTieArc(*s, *a, *b)) {
          gone.push_back(s);
          break;
        }
  for (CSlurLine* s : gone) score.RemoveObject(s);
}

void AddTieArcs(CScore& score, const std::vector<std::pair<CNote*, CNote*>>& pairs) {
  if (pairs.empty()) return;
  // Keys of every chord, lowest first: a chord's upper half ties over, its lower half under.
  std::unordered_map<int32_t, std::vector<int>> chordKeys;
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()); n && n->KindCode() == Kind::Note && n->Chord >= 0) chordKeys[n->Chord].push_back(n->Key);
  for (auto& [number, keys] : chordKeys) std::sort(keys.begin(), keys.end());
  std::vector<const CSlurLine*> existing;
  for (const auto& up : score.Objects())
    if (auto* s = As<CSlurLine>(up.get()); s && s->KindCode() == Kind::Slur && s->NoteLink) existing.push_back(s);
  for (const auto& pair : pairs) {
    // Plain names: lambdas below capture them (clang refuses structured bindings there).
    CNote* a = pair.first;
    CNote* b = pair.second;
    if (!a || !b || !a->OwnerStave || !b->OwnerStave || !a->OwnerStave->OwnerStaff || !b->OwnerStave->OwnerStaff) continue;
    if (std::any_of(existing.begin(), existing.end(), [&](const CSlurLine* s) { return IsTieArc(*s, *a, *b); })) continue;
    int side = 0;  // -1 over, 1 under
    if (auto it = chordKeys.find(a->Chord); a->Chord >= 0 && it != chordKeys.end() && it->second.size() > 1) {
      const auto& keys = it->second;
      const size_t k = size_t(std::lower_bound(keys.begin(), keys.end(), int(a->Key)) - keys.begin());
      side = 2 * k >= keys.size() ? -1 : 1;
    } else if (a->Stem != 0) {
      side = a->Stem < 0 ? 1 : -1;  // stem up: the tie hangs below
    } else {
      side = a->dy < 2 * a->OwnerStave->LineSpace ? -1 : 1;
    }
    // An arc through its ends and a middle point, bound to the head it starts
    // from (or, past a system break, the one it reaches) so that it moves with it.
    auto arc = [&](CNote* owner, int x1, int y1, int x2, int y2) {
      auto slur = std::make_unique<CSlurLine>();
      slur->Layer = owner->Layer;
      slur->X = x1;
      slur->Y = y1;
      slur->X1 = x2;
      slur->Y1 = y2;
      slur->X2 = (x1 + x2) / 2;
      slur->Y2 = (y1 + y2) / 2 + side * 5;
      slur->SetBounds(x1 - 8, y1 - 8, x1 + 8, y1 + 8);
      slur->Note = owner->Number;
      slur->NoteLink = owner;
      Attach(score, owner->OwnerStave, owner->OwnerMeasure, std::move(slur));
    };
    const int ya = a->Y + side * 6, yb = b->Y + side * 6;
    if (a->OwnerStave->OwnerStaff == b->OwnerStave->OwnerStaff) {
      arc(a, a->X + 9, ya, b->X + 1, yb);
    } else {
      // Across a system break: an arc to the end of the first system and one into the note on the next.
      arc(a, a->X + 9, ya, a->OwnerStave->OwnerStaff->Right - 2, ya);
      const CMeasure* m = b->OwnerMeasure;
      arc(b, std::max(m->Left + m->LeftPadding - 14, b->X - 24), yb, b->X + 1, yb);
    }
  }
}


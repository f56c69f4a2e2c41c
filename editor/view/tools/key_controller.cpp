#include "editor/view/tools/key_controller.h"

#include "editing/selection.h"
#include "model/notes.h"
#include "model/score.h"

namespace {

// Runs f on every selected note (not rests); 1 when f changed any.
template <typename F>
int ForSelectedNotes(CScore& score, F f) {
  int changed = 0;
  for (const auto& up : score.Objects())
    if (up->Selected && up->GetKind() == Kind::Note) changed |= f(*static_cast<CNote*>(up.get())) ? 1 : 0;
  return changed;
}

// One staff position is 4 units; pitches stay within 1..126 after the move.
Edit StepNotes(int dy) {
  return {[dy](CScore& s) {
            return ForSelectedNotes(s, [dy](CNote& n) {
              if (dy < 0 ? n.Key > 125 : n.Key <= 1) return false;
              n.MoveTo(n.Left, n.Top + dy);
              return true;
            });
          },
          kAfterRecalc | kAfterSnapshot | kAfterIfDone};
}

// A lowers the value index (a longer note), D raises it; indexes stay in 0..8.
Edit ChangeValue(int d) {
  return {[d](CScore& s) {
            return ForSelectedNotes(s, [d](CNote& n) {
              const int code = n.DurationCode() + d;
              if (code < 0 || code > 8) return false;
              n.Value = (n.Value & ~0xFF) | code;
              return true;
            });
          },
          kAfterSnapshot | kAfterIfDone};
}

Edit Nudge(int dx, int dy) {
  // Journalled, unlike the arrows of old: an undo then takes back one nudge.
  return {[=](CScore& s) { return MoveSelected(s, dx, dy) ? 1 : 0; }, kAfterSnapshot | kAfterIfDone};
}

}  // namespace

Edit KeyEdit(ViewKey key, int mode) {
  if (key == ViewKey::A) return ChangeValue(-1);
  if (key == ViewKey::D) return ChangeValue(+1);
  if (mode == 1) {
    if (key == ViewKey::Up) return StepNotes(-4);
    if (key == ViewKey::Down) return StepNotes(+4);
    return {};
  }
  switch (key) {
    case ViewKey::Up: return Nudge(0, -1);
    case ViewKey::Down: return Nudge(0, 1);
    case ViewKey::Left: return Nudge(-1, 0);
    case ViewKey::Right: return Nudge(1, 0);
    default: return {};
  }
}

#include "editor/view/tools/click_tools.h"

#include "editing/insert.h"
#include "model/score.h"

namespace {

constexpr uint16_t L = kAfterRecalc, J = kAfterSnapshot, IF = kAfterIfDone;

bool In(int v, int first, int last) { return v >= first && v <= last; }

// A tool whose insertion yields an object pointer.
template <typename F>
Edit Insert(F f, uint16_t after) {
  return {[f](CScore& s) { return f(s) ? 1 : 0; }, static_cast<uint16_t>(after | IF), false};
}

}  // namespace

bool IsClickTool(int t) {
  return t == 34000 || t == 34001 || t == 34002 || In(t, 34300, 34309) || In(t, 34400, 34408) ||
         In(t, 34500, 34627) || In(t, 36300, 36427) || t == 34009 || t == 34010 || t == 34012 || t == 34013;
}

Edit ClickEdit(int t, ScorePoint p, bool ctrl) {
  const int x = p.X, y = p.Y;
  if (t == 34000) return Insert([=](CScore& s) { return InsertPianoSystem(s, x, y); }, L | J);
  if (t == 34001) return {[=](CScore& s) { return AddStave(s, x, y); }, J | IF, false};
  if (t == 34002)
    return Insert([=](CScore& s) {
      CStaff* system = SystemAtPoint(s, x, y);
      return system ? InsertMeasure(s, system, x) : nullptr;
    }, L | J);
  if (In(t, 34300, 34309)) {
    const int code = t - 34300;
    Edit e = ctrl ? Edit{[=](CScore& s) { return InsertNoteOrChord(s, x, y, code); }, L | J | IF, true}
                  : Insert([=](CScore& s) { return InsertNote(s, x, y, code); }, L | J);
    e.BeepIfRefused = true;
    e.OnInsertionStave = !ctrl;
    return e;
  }
  if (In(t, 34400, 34408)) return Insert([=](CScore& s) { return InsertRest(s, x, y, t - 34400); }, J);
  // Marks are journalled too, so that an undo takes back only the mark.
  if (In(t, 34500, 34627)) return Insert([=](CScore& s) { return InsertMark(s, x, y, t - 34500); }, L | J);
  if (In(t, 36300, 36427)) return Insert([=](CScore& s) { return InsertText(s, x, y, t - 36300); }, J);
  if (t == 34009) return Insert([=](CScore& s) { return InsertXLink(s, x, y); }, J);
  if (t == 34010) return Insert([=](CScore& s) { return InsertXImage(s, x, y); }, J);
  if (t == 34012) return Insert([=](CScore& s) { return InsertVisualMidi(s, x, y, 192); }, L | J);
  if (t == 34013) return Insert([=](CScore& s) { return InsertAngleText(s, x, y); }, L | J);
  return {};
}

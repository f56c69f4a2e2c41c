#include "editor/view/tools/tool.h"


#include "editing/journal.h"
#include "model/score.h"

int RunEdit(CScore& score, CommandJournal* journal, const Edit& edit, bool derivedFresh, bool* recalculated) {
  if (recalculated) *recalculated = false;
  if (!edit) return 0;
  CStave* stave = score.CurrentStave;
  const int result = edit.Run(score);
  if (!result && (edit.After & kAfterIfDone)) return 0;
  if (recalculated) *recalculated = (edit.After & (kAfterFullUpdate | kAfterRecalc)) != 0;
  if (edit.After & kAfterFullUpdate)
    score.AfterLoad();
  else if ((edit.After & kAfterRecalc) && derivedFresh && edit.OnInsertionStave && stave && stave == score.CurrentStave)
    score.UpdateDerivedOnStaves({stave});
  else if (edit.After & kAfterRecalc)
    score.UpdateDerived();
  if (journal && (edit.After & kAfterSnapshot) && result) journal->RecordSnapshot();
  return result;
}

int SnapToGrid(int v) { return 4 * static_cast<int>(v * 0.25 + 0.5); }

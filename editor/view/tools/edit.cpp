#include "editor/view/tools/tool.h"


#include "editing/journal.h"
#include "model/score.h"

int RunEdit(CScore& score, CommandJournal* journal, const Edit& edit) {
  if (!edit) return 0;
  const int result = edit.Run(score);
  if (!result && (edit.After & kAfterIfDone)) return 0;
  if (edit.After & kAfterFullUpdate)
    score.AfterLoad();
  else if (edit.After & kAfterRecalc)
    score.UpdateDerived();
  if (journal && (edit.After & kAfterSnapshot) && result) journal->RecordSnapshot();
  return result;
}

int SnapToGrid(int v) { return 4 * static_cast<int>(v * 0.25 + 0.5); }

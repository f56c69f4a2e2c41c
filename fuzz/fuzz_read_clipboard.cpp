// Arbitrary bytes as clipboard data: reading must refuse them cleanly or
// give objects that every paste mode puts into a score without breaking its
// structure (unique Numbers, live links); refused bytes leave the score as
// it was, and whatever is read writes back to a payload that reads again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "editing/clipboard.h"
#include "editing/insert.h"
#include "model/score.h"

namespace {

bool Sound(const CScore& score) {
  std::unordered_set<const CXObject*> live;
  std::unordered_set<int32_t> numbers;
  int selected = 0;
  for (const auto& up : score.Objects()) {
    live.insert(up.get());
    if (!numbers.insert(up->Number).second) return false;
    if (up->Selected) ++selected;
  }
  if (selected != score.SelectedCount) return false;
  auto alive = [&](const CXObject* o) { return !o || live.count(o); };
  for (const CStaff* system : score.Staffs) {
    if (!live.count(system)) return false;
    for (const CStave* s : system->Staves)
      if (!live.count(s) || s->OwnerStaff != system) return false;
    for (const CMeasure* m : system->Measures)
      if (!live.count(m) || m->OwnerStaff != system) return false;
  }
  for (const auto& up : score.Objects()) {
    if (auto* s = As<CStave>(up.get())) {
      for (const CStaveObject* o : s->Attached)
        if (!live.count(o) || o->OwnerStave != s) return false;
    } else if (auto* so = As<CStaveObject>(up.get())) {
      if (!alive(so->OwnerStave) || !alive(so->OwnerMeasure)) return false;
      if (auto* mark = As<CMark>(so); mark && !alive(mark->NoteLink)) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CScore scratch;
  std::string why;
  const int read = ReadClipboard(scratch, data, size, &why);
  if (read < 0 && (why.empty() || scratch.ObjectCount() != 0)) std::abort();
  if (read > 0) {
    if (!Sound(scratch)) std::abort();
    CScore again;
    const std::vector<uint8_t> rewritten = WriteClipboard(scratch);
    if (!rewritten.empty() && ReadClipboard(again, rewritten) != 1) std::abort();
  }

  const std::vector<uint8_t> payload(data, data + size);
  const int x = 150 + static_cast<int>(size % 5) * 80;
  const int y = (size % 2) ? 160 : 64;
  for (int mode = 0; mode < 3; ++mode) {
    CScore score;
    SetUpNewDocument(score);
    const std::vector<uint8_t> before = score.SnapshotToBytes();
    const int pasted = mode == 0   ? PasteSystems(score, payload, x, y)
                       : mode == 1 ? PasteNotes(score, payload, x, y)
                                   : PasteObjects(score, payload);
    if (read < 0 && (pasted != 0 || score.SnapshotToBytes() != before)) std::abort();
    if (pasted < 0 || !Sound(score)) std::abort();
    score.AfterLoad();
    CScore copy;
    if (!copy.RestoreFromBytes(score.SnapshotToBytes())) std::abort();
  }
  return 0;
}

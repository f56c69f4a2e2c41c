// Arbitrary bytes as a score snapshot: loading must fail cleanly or give a
// score that relinks, clamps and stores back to a stream that reloads.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "model/derived.h"
#include "model/score.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CScore score;
  if (!score.RestoreFromBytes(data, size)) return 0;
  score.ClampGeometry();
  score.RelinkObjects();
  score.AfterLoad();
  for (CStaff* staff : score.Staffs)
    for (CStave* stave : staff->Staves) RespaceStave(score, *stave);
  score.UpdateDerived();
  score.ClampFontIndexes();
  score.ClampLayerIndexes();
  score.ComputeExtent();
  std::vector<uint8_t> again = score.SnapshotToBytes();
  CScore copy;
  if (!copy.RestoreFromBytes(again)) std::abort();
  if (copy.SnapshotToBytes() != again) std::abort();
  for (const auto& o : score.Objects()) o->Selected = 1;
  score.RecountSelection();
  score.DeleteSelected();
  return 0;
}

// Arbitrary bytes as clipboard data: reading must refuse them cleanly or
// give objects that every paste mode puts into a score without breaking its
// structure (unique Numbers, live links); refused bytes leave the score as
// it was, and whatever is read writes back to a payload that reads again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "editing/clipboard.h"
#include "editing/insert.h"
#include "model/score.h"
#include "fuzz/fuzz_structure.h"


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

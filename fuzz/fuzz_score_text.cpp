// Arbitrary text as a ".q5t" document imported through the exchange library:
// the score that comes out must relink, update and store without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/ini_file.h"
#include "exchange/lattix.h"
#include "model/score.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  IniFile doc;
  doc.LoadFromText(std::string_view(reinterpret_cast<const char*>(data), size));
  CScore score;
  if (scoreImportXML(&score, &doc) != 1) return 0;
  score.RelinkObjects();
  score.AfterLoad();
  std::vector<uint8_t> bytes = score.SnapshotToBytes();
  CScore copy;
  if (!copy.RestoreFromBytes(bytes)) std::abort();
  IniFile out;
  scoreExportXML(&copy, &out);
  return 0;
}

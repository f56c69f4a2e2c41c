// A score opened as the editor opens one, then exported as score text: the
// text must read back with every section whole, and import again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/ini_file.h"
#include "exchange/score_text.h"
#include "model/score.h"
#include "model/score_open.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CScore score;
  if (!OpenScoreBytes(score, data, size)) return 0;
  IniFile doc;
  WriteScoreText(score, doc);
  const std::string text = doc.SaveToText();
  IniFile read;
  read.LoadFromText(text);
  // Our own export is never taken for a text cut short.
  for (const std::string& missing : CheckScoreText(read, text).Missing)
    if (missing.rfind("the text ends", 0) == 0) {
      std::fprintf(stderr, "%s\n", missing.c_str());
      std::abort();
    }
  CScore back;
  ReadScoreText(read, back);
  back.ClampGeometry();
  back.RelinkObjects();
  back.AfterLoad();
  CScore copy;
  if (!copy.RestoreFromBytes(back.SnapshotToBytes())) std::abort();
  return 0;
}

#include "model/score_open.h"

#include <new>

#include "model/score.h"

namespace {
// What opening does after the bytes are read.
void PrepareOpened(CScore& score) {
  score.ClampGeometry();
  score.RelinkObjects();
  score.AfterLoad();
  score.ClampFontIndexes();
  score.ClampLayerIndexes();
}
}  // namespace

bool OpenScoreBytes(CScore& score, const uint8_t* data, size_t size, std::string* error) {
  try {
    if (!score.RestoreFromBytes(data, size, error)) return false;
    PrepareOpened(score);
  } catch (const std::bad_alloc&) {
    score.Clear();
    if (error) *error = "内存不足 (out of memory while opening)";
    return false;
  }
  return true;
}

bool OpenScoreFile(CScore& score, const std::string& path, std::string* error) {
  try {
    if (!score.LoadFromFile(path, error)) return false;
    score.FilePath = path;
    PrepareOpened(score);
  } catch (const std::bad_alloc&) {
    // A half-updated score is no document: it is emptied.
    score.Clear();
    if (error) *error = path + ": 内存不足 (out of memory while opening)";
    return false;
  }
  return true;
}

ScoreStatistics ComputeStatistics(const CScore& score) {
  ScoreStatistics st;
  for (const auto& o : score.Objects()) {
    char k = o->GetKind();
    if (k == Kind::Staff) ++st.Systems;
    else if (k == Kind::Measure) ++st.Measures;
    else if (k == Kind::Note) ++st.Notes;
  }
  st.Objects = static_cast<int>(score.ObjectCount());
  st.Resolution = score.TimeBase;
  const CMeasure* last = nullptr;
  for (const CStaff* staff : score.Staffs)
    if (!staff->Measures.empty()) last = staff->Measures.back();
  // Held in 64 bits: a damaged file's start and length may each be huge.
  if (last) st.PlayLength = int64_t(last->Start) + last->Ticks;
  return st;
}

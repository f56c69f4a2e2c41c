// A score opened as the editor opens one, then drawn: the whole page, a
// window round one of its objects, and every object's handles and outline.
// Nothing drawn may crash, and every call must stay within the numbers the
// recording context holds.
#include <cstddef>
#include <cstdint>

#include "model/score.h"
#include "model/score_open.h"
#include "notation/draw.h"
#include "notation/recording_device_context.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CScore score;
  if (!OpenScoreBytes(score, data, size)) return 0;
  score.ComputeExtent();
  {
    RecordingDeviceContext whole({0, 0, score.ExtentWidth + 50, score.ExtentHeight + 50});
    DrawScore(whole, score);
  }
  if (score.ObjectCount() == 0) return 0;
  const CXObject& at = *score.Objects()[size % score.ObjectCount()];
  RecordingDeviceContext window({at.Left - 300, at.Top - 200, at.Left + 300, at.Top + 200});
  DrawScore(window, score);
  size_t drawn = 0;
  for (const auto& up : score.Objects()) {
    up->Selected = 1;
    up->ActiveHandle = 1 + int8_t(drawn % 8);
    DrawHandles(window, *up);
    DrawResizeFeedback(window, *up, 7, -5);
    DrawMoveFeedback(window, *up, -3, 11);
    if (++drawn == 64) break;
  }
  return 0;
}

// A score opened as the editor opens one, then played: the performance is
// built and written as a MIDI file, which must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "model/score.h"
#include "model/score_open.h"
#include "performance/build_performance.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CScore score;
  if (!OpenScoreBytes(score, data, size)) return 0;
  CMidiSequence sequence;
  BuildPerformance(score, sequence);
  std::vector<uint8_t> bytes;
  // A division the header cannot hold is refused with a reason, not written.
  if (!EncodeMidiFile(sequence, bytes)) return 0;
  CMidiSequence back;
  std::string problem;
  if (ReadMidiBytes(back, bytes.data(), bytes.size(), &problem) != 1 || !problem.empty()) std::abort();
  return 0;
}

#include "tools/cli/midi_commands.h"

#include <cstdio>

#include "model/score.h"
#include "model/score_open.h"
#include "performance/build_performance.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace {
int MidiFail(const std::string& reason) {
  std::fprintf(stderr, "quavix-cli: %s\n", reason.c_str());
  return 1;
}
}  // namespace

int CmdConvertToMidi(const std::string& in, const std::string& out) {
  CScore score;
  std::string error;
  if (!OpenScoreFile(score, in, &error)) return MidiFail(error);
  CMidiSequence sequence;
  BuildPerformance(score, sequence);
  // Written through a temporary file, so a failure leaves nothing behind.
  if (WriteMidiFile(sequence, out, &error) != 1) return MidiFail("cannot write " + out + ": " + error);
  return 0;
}

int CmdMidiInfo(const std::string& path) {
  CMidiSequence sequence;
  std::string problem;
  const int result = ReadMidiFile(sequence, path, &problem);
  if (result == -1) return MidiFail(problem);
  if (result != 1) return MidiFail(path + ": " + problem);
  if (!problem.empty()) std::fprintf(stderr, "quavix-cli: %s: %s; showing what was read\n", path.c_str(), problem.c_str());
  size_t notes = 0;
  for (const MidiEventRec& e : sequence.Events)
    if (e.IsNoteOn() && e.Data2 > 0) ++notes;
  std::printf("division: %d\n", sequence.Division);
  std::printf("tempo: %d\n", sequence.Tempo);
  std::printf("time-signature: %d/%d\n", sequence.Numerator, sequence.Denominator);
  std::printf("events: %zu\n", sequence.Events.size());
  std::printf("notes: %zu\n", notes);
  return 0;
}

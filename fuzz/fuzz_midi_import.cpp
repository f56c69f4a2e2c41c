// Arbitrary bytes as a Standard MIDI File, imported with arbitrary import
// choices: the recorder must end, stay within its measure bound and leave
// every note on a stave of a system it made.
#include <cstddef>
#include <cstdint>

#include "editing/recorder.h"
#include "model/score.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  // The first three bytes choose the import settings.
  MidiImportSettings settings;
  settings.Quantise = 3 + data[0] % 4;
  settings.MeasuresPerLine = 1 + data[1] % 32;
  settings.Voices = 1 + data[2] % 16;
  settings.ByChannel = data[2] & 0x80;
  settings.SplitKey = data[1] & 0x7F;
  CMidiSequence seq;
  if (ReadMidiBytes(seq, data + 3, size - 3) != 1) return 0;
  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  ApplyImportSettings(recorder, settings);
  if (ImportSequence(recorder, seq) != 1) __builtin_trap();  // the reader only hands over usable divisions
  if (recorder.Measures.size() > size_t(kRecorderMaxMeasures + recorder.MeasuresPerLine)) __builtin_trap();
  for (const auto& up : score.Objects())
    if (auto* n = As<CNote>(up.get()))
      if (!n->OwnerStave || !n->OwnerMeasure || n->OwnerStave->OwnerStaff != n->OwnerMeasure->OwnerStaff)
        __builtin_trap();
  score.AfterLoad();
  return 0;
}

// Arbitrary bytes as MusicXML (plain or the zip container): the reader must
// refuse with a reason or hand over a sequence the MIDI import notates, in
// bounded time and memory.
#include <cstddef>
#include <cstdint>
#include <string>

#include "editing/recorder.h"
#include "exchange/musicxml/musicxml_import.h"
#include "model/score.h"
#include "performance/midi_sequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  CMidiSequence seq;
  MusicXmlImportReport report;
  std::string error;
  if (!ReadMusicXml(bytes, seq, report, &error)) {
    if (error.empty() || !seq.Events.empty()) __builtin_trap();  // a refusal says why and hands over nothing
    return 0;
  }
  for (size_t i = 1; i < seq.Events.size(); ++i)
    if (seq.Events[i].Tick < seq.Events[i - 1].Tick) __builtin_trap();
  CScore score;
  PrepareImportScore(score);
  CRecorder recorder(score);
  MidiImportSettings settings;
  settings.AutoStaves = false;
  settings.ByChannel = true;
  ApplyImportSettings(recorder, settings);
  ImportSequence(recorder, seq);
  return 0;
}

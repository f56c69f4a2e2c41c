// Arbitrary bytes as a Standard MIDI File, then what we read written and
// read again: whatever the reader keeps, the writer must turn into a file the
// reader takes back whole, with the same events.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace {
struct NullPort : MidiMessageSink {
  uint32_t last = 0;
  void SendShortMessage(uint32_t m) override { last = m; }
};
struct NullClock : TempoListener {
  int32_t tempo = 0;
  void SetTempo(int32_t t) override {
    if (t <= 0) __builtin_trap();  // the play clock divides by it
    tempo = t;
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NullPort port;
  NullClock clock;
  CMidiSequence seq;
  seq.OutputPort = &port;
  seq.PlayClock = &clock;
  std::string problem;
  if (ReadMidiBytes(seq, data, size, &problem) != 1) return 0;
  if (seq.PlayPosition > seq.Events.size()) __builtin_trap();
  seq.SeekTo(seq.Events.empty() ? 0 : seq.Events[seq.Events.size() / 2].Tick);

  std::vector<uint8_t> bytes;
  if (!EncodeMidiFile(seq, bytes)) __builtin_trap();  // a division we read is one we can write
  CMidiSequence again;
  if (ReadMidiBytes(again, bytes.data(), bytes.size(), &problem) != 1 || !problem.empty()) __builtin_trap();
  std::vector<uint8_t> twice;
  EncodeMidiFile(again, twice);
  if (twice != bytes) __builtin_trap();  // a written file reads back to the same file
  return 0;
}

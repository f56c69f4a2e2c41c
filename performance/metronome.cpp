#include "performance/metronome.h"

CMetronome::CMetronome() {
  Keys.fill(80);
  Velocities.fill(80);
  Lengths.fill(100);
  Keys[0] = 75;
  Velocities[0] = 100;
}

int CMetronome::Tick(MidiMessageSink* port, int32_t tick) {
  if (BeatUnit == 0) return 0;
  const int32_t beatsPerBar = BeatsPerBar == 0 ? 1 : BeatsPerBar;
  const int64_t ticksPerBeat = int64_t(Division) * 4;
  if (Sounding) {
    const int p = int(((LastBeat % beatsPerBar) + beatsPerBar) % beatsPerBar) & 63;
    if (tick - int64_t(LastBeat) * ticksPerBeat / BeatUnit >= Lengths[p]) {
      if (Enabled && port) port->SendShortMessage(0x80u | Channel | uint32_t(Keys[p]) << 8 | uint32_t(Velocities[p]) << 16);
      Sounding = 0;
    }
  }
  if (ticksPerBeat == 0) return 0;
  const int32_t beat = int32_t(int64_t(tick) * BeatUnit / ticksPerBeat);
  if (beat == LastBeat) return 0;
  LastBeat = beat;
  const int p = int(((beat % beatsPerBar) + beatsPerBar) % beatsPerBar) & 63;
  if (Enabled && port) port->SendShortMessage(0x90u | Channel | uint32_t(Keys[p]) << 8 | uint32_t(Velocities[p]) << 16);
  Sounding = 1;
  return 1;
}

void CMetronome::SendProgram(MidiMessageSink* port) const {
  if (port) port->SendShortMessage(0xC0u | Channel | uint32_t(Program & 0x7F) << 8);
}

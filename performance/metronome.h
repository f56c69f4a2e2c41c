// The click on every beat: the first beat of a bar accented.
#pragma once

#include <array>
#include <cstdint>

#include "performance/midi_sequence.h"

class CMetronome {
 public:
  CMetronome();

  int32_t Division = 240;
  uint8_t BeatsPerBar = 2;
  uint8_t BeatUnit = 4;
  int32_t LastBeat = -1;
  int Enabled = 1;
  int Channel = 9;
  int Program = 115;
  int Sounding = 0;
  std::array<uint8_t, 64> Keys{};
  std::array<uint8_t, 64> Velocities{};
  std::array<int32_t, 64> Lengths{};

  void Reset() { LastBeat = -1; }
  // Ends a click that has lasted its length and clicks a new beat; 1 when a
  // new beat was clicked. Nothing is sent without a port.
  int Tick(MidiMessageSink* port, int32_t tick);
  void SendProgram(MidiMessageSink* port) const;
};

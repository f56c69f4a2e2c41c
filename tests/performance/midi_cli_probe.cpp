// Runs the CLI's MIDI commands directly (midi_cli_probe convert IN OUT |
// info FILE), and writes a file of long texts for the peer readers
// (midi_cli_probe texts OUT: texts of 100, 127, 128, 200 and 255 bytes and
// one sysex message).
#include <cstdio>
#include <string>

#include "performance/midi_file.h"
#include "performance/midi_sequence.h"
#include "tools/cli/midi_commands.h"

int main(int argc, char** argv) {
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "convert" && argc == 4) return CmdConvertToMidi(argv[2], argv[3]);
  if (cmd == "info" && argc == 3) return CmdMidiInfo(argv[2]);
  if (cmd == "texts" && argc == 3) {
    CMidiSequence seq;
    int tick = 0;
    for (int length : {100, 127, 128, 200, 255}) seq.AddText(tick += 10, std::string(length, char('a' + length % 26)));
    const uint8_t reset[] = {0x7E, 0x7F, 0x09, 0x01, 0xF7};
    seq.AddSysex(tick += 10, 0xF0, reset, sizeof reset);
    seq.AddEvent(tick += 10, 0x90, 60, 100);
    seq.AddEvent(tick += 10, 0x80, 60, 0);
    return WriteMidiFile(seq, argv[2]) == 1 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: midi_cli_probe convert IN.q5s OUT.mid | info FILE.mid | texts OUT.mid\n");
  return 2;
}

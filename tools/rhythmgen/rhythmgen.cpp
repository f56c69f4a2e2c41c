// Builds a rhythm pattern MIDI file from its readable step-grid source.
//
//   rhythmgen SOURCE.txt OUT.mid
//
// Source lines ("#" starts a comment):
//   division 480          ticks per quarter note of the file
//   meter 3 4             time signature (default 4 4)
//   steps 12              steps per bar (default 16)
//   bars 2                bars in the pattern (default 1)
//   program CH P          program change at tick 0
//   control CH C V        controller at tick 0
//   drum KEY VEL GRID     channel 9: "x" strikes, "X" strikes accented (+20)
//   note CH KEY VEL GRID  "x" strikes, "-" holds the note, "." rests
// GRID holds one character per step of all bars (spaces and "|" ignored).
// A pattern is written on a C chord; the player transposes it. The last
// event is a text at the pattern's end, so the loop length is the pattern's.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "rhythmgen: %s\n", why.c_str());
  return 1;
}

std::string GridOf(std::istringstream& in) {
  std::string grid, part;
  while (in >> part)
    for (char c : part)
      if (c != '|') grid += c;
  return grid;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Fail("usage: rhythmgen SOURCE.txt OUT.mid");
  std::ifstream src(argv[1]);
  if (!src) return Fail(std::string("cannot read ") + argv[1]);
  CMidiSequence seq;
  int division = 480, numerator = 4, denominator = 4, steps = 16, bars = 1;
  struct Lane {
    int channel, key, velocity;
    std::string grid;
  };
  std::vector<Lane> lanes;
  std::string line;
  int lineNo = 0;
  while (std::getline(src, line)) {
    ++lineNo;
    if (const size_t hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream in(line);
    std::string word;
    if (!(in >> word)) continue;
    int a = 0, b = 0, c = 0;
    if (word == "division") in >> division;
    else if (word == "meter") in >> numerator >> denominator;
    else if (word == "steps") in >> steps;
    else if (word == "bars") in >> bars;
    else if (word == "program" && (in >> a >> b)) seq.AddEvent(0, uint8_t(0xC0 | (a & 15)), uint8_t(b), 0);
    else if (word == "control" && (in >> a >> b >> c)) seq.AddEvent(0, uint8_t(0xB0 | (a & 15)), uint8_t(b), uint8_t(c));
    else if (word == "drum" && (in >> a >> b)) lanes.push_back({9, a, b, GridOf(in)});
    else if (word == "note" && (in >> a >> b >> c)) lanes.push_back({a, b, c, GridOf(in)});
    else return Fail(std::string(argv[1]) + ":" + std::to_string(lineNo) + ": cannot read \"" + line + "\"");
  }
  if (division <= 0 || steps <= 0 || bars <= 0 || denominator <= 0) return Fail("bad division, steps, bars or meter");
  const int barTicks = division * 4 * numerator / denominator;
  const int total = steps * bars;
  seq.Division = division;
  seq.AddTimeSignature(0, numerator, denominator, 24, 8);
  auto tickOf = [&](int step) { return step / steps * barTicks + (step % steps) * barTicks / steps; };
  for (const Lane& lane : lanes) {
    if (int(lane.grid.size()) != total)
      return Fail(std::string(argv[1]) + ": a lane of " + std::to_string(lane.grid.size()) + " steps, not " +
                  std::to_string(total));
    for (int s = 0; s < total; ++s) {
      const char c = lane.grid[size_t(s)];
      if (c != 'x' && c != 'X') continue;
      int end = s + 1;
      while (end < total && lane.grid[size_t(end)] == '-') ++end;
      const int velocity = std::min(127, lane.velocity + (c == 'X' ? 20 : 0));
      const uint8_t channel = uint8_t(lane.channel & 15);
      seq.AddEvent(tickOf(s), uint8_t(0x90 | channel), uint8_t(lane.key), uint8_t(velocity));
      // A release a little before the next step keeps repeated strikes apart.
      const int off = end >= total ? total * barTicks / steps : tickOf(end);
      seq.AddEvent(off - 1, uint8_t(0x80 | channel), uint8_t(lane.key), 0);
    }
  }
  seq.AddText(bars * barTicks, "loop");
  SortEvents(seq.Events);
  std::string error;
  if (WriteMidiFile(seq, argv[2], &error) != 1) return Fail(std::string("cannot write ") + argv[2] + ": " + error);
  return 0;
}

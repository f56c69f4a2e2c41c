// Accompaniment expansion: rhythm ("!r:name") and chord ("!c:symbol") text
// events of a performance turn into a looping drum pattern and a chord
// pattern written on C, transposed to the current chord's root and bent to
// its type. Rhythms and chord types come from the lists in the "res" folder.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "performance/midi_sequence.h"

constexpr size_t kMaxRhythms = 256;
constexpr size_t kMaxChordTypes = 256;

struct RhythmEntry {
  int Number = 0;
  std::string Name;  // as written in the score (GBK bytes)
  std::string Path;  // full path of the pattern MIDI file
  CMidiSequence Pattern;  // loaded on first use
};

struct ChordType {
  int Number = 0;
  std::string Name;  // the part of a chord symbol after the root ("M", "m7" ...)
  std::array<int8_t, 12> Adjust{};  // per pitch class C .. B
};

struct ChordStructEntry {
  uint32_t Key = 0;
  int32_t First = 0;
  int32_t Second = 0;
};

// "rhythm.ini": [RhythmList] Count, then [Rhythm0] .. [RhythmCount] with Name,
// Number and Data (a path without ":" is relative to the ini's folder). A
// missing file writes "没有找到文件:" and the path to the trace log.
void LoadRhythmList(const std::string& path, std::vector<RhythmEntry>& list);
// "chord.ini": [ChordList] Count, [Chord0] .. with Name, Number and Data
// (up to 12 comma-separated adjustments).
void LoadChordList(const std::string& path, std::vector<ChordType>& list);
// "chordstruct.ini": "b0+b1+b2+b3=x-y" lines, sorted by key. A missing or
// unreadable file leaves its message in `lastError`.
void LoadChordStructList(const std::string& path, std::vector<ChordStructEntry>& list, std::string* lastError);

// The semitone of a chord root ("C", "#F", "bE"); 60 for an empty root.
int RootSemitone(std::string_view root);

// One looping pattern player.
struct PatternPlayer {
  bool On = false;
  int32_t LoopStart = 0;
  int32_t LoopLength = 1;
  size_t Position = 0;
  std::vector<MidiEventRec> Events;  // the drum pattern, or the transposed copies
};

class CAccompaniment {
 public:
  std::vector<RhythmEntry> Rhythms;
  std::vector<ChordType> ChordTypes;
  std::vector<ChordStructEntry> ChordStructs;
  std::string LastError;

  // Time signatures and "!r" / "!c" events of the played sequence; in a text
  // event Tag is 'r' or 'c' and Number the rhythm index, or the chord type
  // index + root semitone * 65536, or -1 when unknown.
  std::vector<MidiEventRec> EventList;
  size_t Position = 0;
  int CurrentRhythm = -1;
  int32_t SongDivision = 240;
  MidiMessageSink* OutputPort = nullptr;  // not owned
  PatternPlayer Drums;
  PatternPlayer Chords;
  std::vector<MidiEventRec> ChordOriginals;  // the pattern's other channels, unchanged
  int CurrentRoot = -1;
  int CurrentChordType = 0;

  // Reads "rhythm.ini", "chord.ini" and "chordstruct.ini" from a folder.
  void LoadAccompaniment(const std::string& resFolder);
  // Builds the event list from a sequence about to be played.
  void AttachAccompaniment(const CMidiSequence& sequence);
  void SelectRhythm(int index);
  void SetChord(int root, int typeIndex);
  // After the sequence's own events on every clock notification.
  void AccompanimentTick(int32_t tick);
  // Positions everything for a play that starts at the tick.
  void SeekAccompaniment(int32_t tick);

 private:
  bool LoadPattern(RhythmEntry& rhythm);
  void Silence(PatternPlayer& player);
  void ProcessEvent(const MidiEventRec& e);
  void Advance(PatternPlayer& player, int32_t tick);
  void Send(const MidiEventRec& e);
};

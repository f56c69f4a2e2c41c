#include "performance/midi_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "common/trace_log.h"
#include "model/score.h"
#include "performance/build_performance.h"
#include "performance/midi_sequence.h"
#include "tests/common/scratch_dir.h"
#include "tools/scoregen/scoregen.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Bytes Header(uint16_t format, uint16_t tracks, uint16_t division) {
  return Cat({Str("MThd"), Be32(6), {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8), uint8_t(tracks),
                                     uint8_t(division >> 8), uint8_t(division)}});
}
Bytes Track(const Bytes& events) { return Cat({Str("MTrk"), Be32(uint32_t(events.size())), events}); }
const Bytes kEndOfTrack = {0x00, 0xFF, 0x2F, 0x00};

Bytes Encode(const CMidiSequence& seq) {
  Bytes out;
  EXPECT_TRUE(EncodeMidiFile(seq, out));
  return out;
}

struct Ev {
  int tick, status, data1, data2;
  std::string text;
  bool operator==(const Ev&) const = default;
};
std::vector<Ev> Events(const CMidiSequence& seq) {
  std::vector<Ev> out;
  for (const MidiEventRec& e : seq.Events) out.push_back({e.Tick, e.Status, e.Data1, e.Data2, std::string(e.Text())});
  return out;
}

CMidiSequence Read(const Bytes& bytes, std::string* problem = nullptr) {
  CMidiSequence seq;
  EXPECT_EQ(ReadMidiBytes(seq, bytes.data(), bytes.size(), problem), 1);
  return seq;
}

TEST(MidiWriter, EmptySequenceIsThirtyEightBytes) {
  CMidiSequence seq;
  const Bytes expected = Cat({Header(1, 2, 240), Track(kEndOfTrack), Track(kEndOfTrack)});
  ASSERT_EQ(expected.size(), 38u);
  EXPECT_EQ(Encode(seq), expected);
}

TEST(MidiWriter, VariableLengthQuantities) {
  const std::pair<uint32_t, Bytes> cases[] = {
      {0, {0x00}},         {0x7F, {0x7F}},
      {0x80, {0x81, 0x00}}, {0x3FFF, {0xFF, 0x7F}},
      {0x4000, {0x81, 0x80, 0x00}}, {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
      {0xFFFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},  // past four bytes: the largest there is
  };
  for (const auto& [value, bytes] : cases) {
    MidiByteBuffer b;
    b.AppendVarLen(value);
    EXPECT_EQ(b.Bytes(), bytes) << value;
  }
}

TEST(MidiWriter, ConductorTrackThenEverythingElseWithFullStatuses) {
  CMidiSequence seq;
  seq.Division = 480;
  seq.AddTempo(0, 500000);
  seq.AddEvent(0, 0xC2, 19, 0);
  seq.AddEvent(0x80, 0x92, 60, 100);
  seq.AddText(0x80, "!n7");
  seq.AddEvent(400 + 0x0FFFFFFF, 0x92, 60, 0);  // status repeated, never run
  seq.AddTimeSignature(0x80, 3, 4, 24, 8);
  seq.AddEvent(200, 0x42, 1, 2);  // no status byte: not a MIDI event
  seq.AddEvent(300, 0xF8, 0, 0);  // real-time messages have no place in a file
  seq.AddEvent(400, 0xB0, 200, 255);  // data bytes above 0x7F would read as statuses
  const Bytes conductor = Cat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                               {0x81, 0x00, 0xFF, 0x58, 0x04, 3, 2, 24, 8}, kEndOfTrack});
  const Bytes rest = Cat({{0x00, 0xC2, 19},
                          {0x81, 0x00, 0xFF, 0x01, 0x03, '!', 'n', '7'},
                          {0x00, 0x92, 60, 100},
                          {0x82, 0x10, 0xB0, 0x7F, 0x7F},  // delta 400 - 128
                          {0xFF, 0xFF, 0xFF, 0x7F, 0x92, 60, 0}, kEndOfTrack});
  // Events go out in list order; the list is sorted before writing.
  SortEvents(seq.Events);
  EXPECT_EQ(Encode(seq), Cat({Header(1, 2, 480), Track(conductor), Track(rest)}));
}

TEST(MidiWriter, MetaLengthsAreVariableLengthAndTextsStopAt255) {
  for (size_t length : {100u, 127u, 128u, 200u, 255u, 300u}) {
    CMidiSequence seq;
    seq.AddText(0, std::string(length, 'q'));
    const Bytes file = Encode(seq);
    const size_t kept = std::min<size_t>(length, 255);
    const Bytes lengthBytes = kept < 128 ? Bytes{uint8_t(kept)} : Bytes{uint8_t(0x80 | kept >> 7), uint8_t(kept & 0x7F)};
    const Bytes expected = Cat({Header(1, 2, 240), Track(kEndOfTrack),
                                Track(Cat({{0x00, 0xFF, 0x01}, lengthBytes, Bytes(kept, 'q'), kEndOfTrack}))});
    EXPECT_EQ(file, expected) << length;
    EXPECT_EQ(Read(file).Events.at(0).Text(), std::string(kept, 'q'));
  }
}

TEST(MidiWriter, UnwritableDivisionOrPathFails) {
  ScratchDir dir;
  CMidiSequence seq;
  seq.Division = 0x8000;
  std::string error;
  EXPECT_EQ(WriteMidiFile(seq, dir / "a.mid", &error), -1);
  EXPECT_FALSE(error.empty());
  seq.Division = 240;
  EXPECT_EQ(WriteMidiFile(seq, dir / "missing/a.mid"), -1);
  EXPECT_TRUE(dir.List().empty());
  EXPECT_EQ(WriteMidiFile(seq, dir / "a.mid"), 1);
  EXPECT_EQ(dir.Read("a.mid").size(), 38u);
}

TEST(MidiFile, APerformanceReadsBackAsWritten) {
  // Repeats, ties, chords, tuplets, key changes and dynamics; markers come
  // back as plain texts, in the same order at every tick.
  CScore score;
  GenerateWorkload(score, {.Systems = 10, .MeasuresPerSystem = 3, .StavesPerSystem = 2, .NotesPerStaffMeasure = 6,
                           .DynamicsTexts = 20, .Hairpins = 10, .Seed = 3});
  CMidiSequence built;
  BuildPerformance(score, built);
  ASSERT_GT(built.Events.size(), 500u);
  const CMidiSequence read = Read(Encode(built));
  EXPECT_EQ(Events(read), Events(built));
  EXPECT_TRUE(std::all_of(read.Events.begin(), read.Events.end(), [](const MidiEventRec& e) { return !e.Tag && !e.Source; }));
}

TEST(MidiReader, RunningStatusWithVelocityZeroReleases) {
  const Bytes file = Cat({Header(0, 1, 96),
                          Track(Cat({{0x00, 0x91, 60, 90}, {0x30, 60, 0}, {0x00, 62, 80}, {0x00, 64, 70},
                                     {0x10, 0xFF, 0x01, 0x01, 'x'},  // a meta inside the run leaves it running
                                     {0x20, 62, 0}, {0x00, 0x81, 64, 40},
                                     {0x08, 65, 40},  // a run of note-offs stays one, sounding or not
                                     {0x00, 0xC3, 5}, {0x01, 6},
                                     {0x00, 0x92, 62, 80}, {0x00, 0x93, 62, 80},
                                     {0x00, 62, 70},  // the key sounds on channel 3: a release
                                     {0x00, 0x92, 64, 80}, {0x00, 0x93, 65, 80},
                                     {0x00, 64, 80},  // sounds on channel 2 only: a strike on 3
                                     kEndOfTrack}))});
  const CMidiSequence seq = Read(file);
  const std::vector<Ev> expected = {
      {0, 0x91, 60, 90, ""},   {48, 0x81, 60, 0, ""},   {48, 0x91, 62, 80, ""},  {48, 0x91, 64, 70, ""},
      {64, 0xFF, 1, 1, "x"},   {96, 0x81, 62, 0, ""},   {96, 0x81, 64, 40, ""},  {104, 0x81, 65, 40, ""},
      {104, 0xC3, 5, 0, ""},   {105, 0x83, 62, 70, ""}, {105, 0xC3, 6, 0, ""},   {105, 0x92, 62, 80, ""},
      {105, 0x93, 62, 80, ""}, {105, 0x92, 64, 80, ""}, {105, 0x93, 65, 80, ""}, {105, 0x93, 64, 80, ""}};
  EXPECT_EQ(Events(seq), expected);
  EXPECT_EQ(seq.Division, 96);
  EXPECT_EQ(seq.Version, 0x1000000);
}

TEST(MidiReader, TracksMergeOnTheirOwnTimesAndOtherChunksAreSkipped) {
  const Bytes file = Cat({Header(1, 2, 240),
                          Track(Cat({{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20}, {0x81, 0x00, 0xFF, 0x51, 0x03, 0x06, 0x1A, 0x80},
                                     {0x00, 0xFF, 0x58, 0x04, 6, 3, 24, 8}, kEndOfTrack})),
                          // Looks like events, is not a track.
                          Str("XFIH"), Be32(6), {0x00, 0x90, 0x3C, 0x40, 0x00, 0x00},
                          Track(Cat({{0x64, 0x90, 0x3C, 0x40}, {0x64, 0x80, 0x3C, 0x00}, kEndOfTrack,
                                     {0x00, 0x90, 0x50, 0x50}})),  // after the end of the track: ignored
                          Track(Cat({{0x64, 0xFF, 0x01, 0x07, '!', 'v', '3', '.', '8', '.', '1'},
                                     {0x00, 0xFF, 0x01, 0x04, '!', 'y', '4', '2'}}))});  // no end of track
  const CMidiSequence seq = Read(file);
  std::vector<std::pair<int, int>> ticks;
  for (const MidiEventRec& e : seq.Events) ticks.emplace_back(e.Tick, e.Status);
  EXPECT_EQ(ticks, (std::vector<std::pair<int, int>>{{0, 0xFF}, {100, 0xFF}, {100, 0xFF}, {100, 0x90}, {128, 0xFF}, {128, 0xFF}, {200, 0x80}}));
  EXPECT_EQ(seq.Tempo, 400000);  // the last tempo and time signature count
  EXPECT_EQ(seq.Numerator, 6);
  EXPECT_EQ(seq.Denominator, 8);
  EXPECT_EQ(seq.Version, 0x03080100);
  EXPECT_EQ(seq.Events[1].Number, 0x03080100);
  EXPECT_EQ(seq.Events[2].Number, 42);
}

TEST(MidiReader, BadHeadersFailAndLeaveTheSequenceAlone) {
  const Bytes valid = Cat({Header(1, 1, 240), Track(kEndOfTrack)});
  Bytes smpte = valid, zero = valid, shortHeader = valid, riff = valid;
  smpte[12] = 0xE7, smpte[13] = 0x28;
  zero[12] = zero[13] = 0;
  shortHeader[7] = 5;
  riff[0] = 'R';
  Bytes longHeader = valid;
  longHeader[7] = 200;
  for (const Bytes& b : {smpte, zero, shortHeader, riff, longHeader, Bytes(valid.begin(), valid.begin() + 13)}) {
    CMidiSequence seq;
    seq.AddText(5, "kept");
    std::string problem;
    EXPECT_EQ(ReadMidiBytes(seq, b.data(), b.size(), &problem), 0);
    EXPECT_FALSE(problem.empty());
    EXPECT_EQ(Events(seq), (std::vector<Ev>{{5, 0xFF, 1, 4, "kept"}}));
  }
}

TEST(MidiReader, TruncatedFilesKeepWhatWasRead) {
  CMidiSequence full;
  full.AddTempo(0, 500000);
  for (int i = 0; i < 20; ++i) {
    full.AddEvent(i * 100, 0x90, uint8_t(60 + i), 100);
    full.AddText(i * 100, "!n" + std::to_string(i));
    full.AddEvent(i * 100 + 90, 0x80, uint8_t(60 + i), 0);
  }
  const uint8_t sysex[] = {0x7E, 0x7F, 0xF7};
  full.AddSysex(3000, 0xF0, sysex, 3);
  SortEvents(full.Events);
  const Bytes file = Encode(full);
  const std::vector<Ev> all = Events(Read(file));
  ASSERT_EQ(all, Events(full));
  size_t previous = 0;
  for (size_t cut = 14; cut < file.size(); ++cut) {
    std::string problem;
    const std::vector<Ev> got = Events(Read(Bytes(file.begin(), file.begin() + cut), &problem));
    EXPECT_FALSE(problem.empty()) << cut;
    EXPECT_GE(got.size(), previous) << cut;
    previous = got.size();
    for (const Ev& e : got) EXPECT_NE(std::find(all.begin(), all.end(), e), all.end()) << cut;
  }
  // A meta whose length runs past the end of the file is not read at all.
  const Bytes bad = Cat({Header(0, 1, 240), Str("MTrk"), Be32(100), {0x00, 0x90, 60, 1, 0x00, 0xFF, 0x01, 0x8F, 0xFF, 0x7F, 'a'}});
  std::string problem;
  EXPECT_EQ(Events(Read(bad, &problem)), (std::vector<Ev>{{0, 0x90, 60, 1, ""}}));
  EXPECT_EQ(problem, "truncated at byte 26");

  // Malformed events are named for what they are, not taken for an early end.
  const Bytes freshTrack = Cat({Header(0, 2, 240), Track({0x00, 0x90, 60, 1}), Track({0x00, 0x3C, 0x40})});
  const Bytes longNumber = Cat({Header(0, 1, 240), Track({0x00, 0x90, 60, 1, 0x81, 0x80, 0x80, 0x80, 0x00, 0x80, 60, 0})});
  // Running status does not carry over into the next track.
  Read(freshTrack, &problem);
  EXPECT_EQ(problem, "a data byte with no running status before it at byte 34");
  EXPECT_EQ(Events(Read(longNumber, &problem)).size(), 1u);
  EXPECT_EQ(problem, "a variable-length number longer than four bytes at byte 26");
}

TEST(MidiFile, UnopenablePathLogsAndKeepsTheSequence) {
  ScratchDir dir;
  TraceLog::ResetForTesting(dir / "trace.log");
  CMidiSequence seq;
  seq.AddText(1, "kept");
  EXPECT_EQ(ReadMidiFile(seq, dir / "none.mid"), -1);
  EXPECT_EQ(seq.Events.size(), 1u);
  EXPECT_EQ(dir.Read("trace.log"), "打开文件失败:" + (dir / "none.mid") + "\r\n");
  TraceLog::ResetForTesting("");

  seq.Clear();
  seq.AddTimeSignature(0, 3, 4, 24, 8);
  seq.AddEvent(10, 0x90, 60, 100);
  ASSERT_EQ(WriteMidiFile(seq, dir / "t.mid"), 1);
  CMidiSequence back;
  ASSERT_EQ(ReadMidiFile(back, dir / "t.mid"), 1);
  EXPECT_EQ(back.FileName, dir / "t.mid");
  EXPECT_EQ(Events(back), Events(seq));
}

}  // namespace

// Accompaniment expansion: the lists, chord transposition, pattern scaling
// and the loops, heard on a recording port.
#include "performance/accompaniment.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "performance/midi_file.h"

namespace {

struct Sink : MidiMessageSink {
  std::vector<uint32_t> sent;
  void SendShortMessage(uint32_t m) override { sent.push_back(m); }
  std::vector<uint32_t> Take() { return std::exchange(sent, {}); }
};

uint32_t Msg(int status, int d1, int d2) { return uint32_t(status) | uint32_t(d1) << 8 | uint32_t(d2) << 16; }

struct Folder {
  std::filesystem::path dir;
  Folder() {
    dir = std::filesystem::temp_directory_path() / ("quavix-accomp-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
  }
  ~Folder() { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(dir / name, std::ios::binary) << text;
    return (dir / name).string();
  }
};

// A pattern at division 480, 960 ticks long: a drum hit and an E on channel
// 0, a program change, and one note each on channels 8 and 10.
void WritePattern(const std::string& path) {
  CMidiSequence p;
  p.Division = 480;
  p.AddEvent(0, 0xC0, 24, 0);
  p.AddEvent(0, 0x99, 36, 100);
  p.AddEvent(0, 0x90, 64, 90);
  p.AddEvent(0, 0x98, 64, 90);
  p.AddEvent(0, 0x9A, 64, 90);
  p.AddEvent(240, 0x89, 36, 0);
  p.AddEvent(480, 0x80, 64, 0);
  p.AddEvent(480, 0x88, 64, 0);
  p.AddEvent(480, 0x8A, 64, 0);
  p.AddEvent(960, 0xB0, 7, 100);
  ASSERT_EQ(WriteMidiFile(p, path), 1);
}

TEST(Accompaniment, ListsLoadNumberedFromOneAndStructuresSort) {
  Folder f;
  f.Write("rhythm.ini",
          "[RhythmList]\nCount=2\n[Rhythm1]\nName=pop\nNumber=7\nData=rhythms\\pop.mid\n"
          "[Rhythm2]\nName=rock\nNumber=8\nData=/abs/rock.mid\n");
  f.Write("chord.ini", "[ChordList]\nCount=2\n[Chord1]\nName=M\nNumber=1\nData=0,0,0,0,0\n[Chord2]\nName=m\nData=0,0,0,0,-1\n");
  f.Write("chordstruct.ini", "4+3+0+0=2-5\nno entry here\n3+4+0+0=1\n");
  CAccompaniment a;
  a.LoadAccompaniment(f.dir.string());
  ASSERT_EQ(a.Rhythms.size(), 2u);
  EXPECT_EQ(a.Rhythms[0].Name, "pop");
  EXPECT_EQ(a.Rhythms[0].Number, 7);
  EXPECT_EQ(a.Rhythms[0].Path, (f.dir / "rhythms/pop.mid").string());
  EXPECT_EQ(a.Rhythms[1].Path, "/abs/rock.mid");
  ASSERT_EQ(a.ChordTypes.size(), 2u);
  EXPECT_EQ(a.ChordTypes[1].Adjust[4], -1);
  EXPECT_EQ(a.ChordTypes[1].Adjust[11], 0);  // missing ones are 0
  ASSERT_EQ(a.ChordStructs.size(), 2u);
  EXPECT_EQ(a.ChordStructs[0].Key, 0x0304u);  // 4+3: b0 = 4, b1 = 3
  EXPECT_EQ(a.ChordStructs[0].First, 2);
  EXPECT_EQ(a.ChordStructs[0].Second, 5);
  EXPECT_EQ(a.ChordStructs[1].Key, 0x0403u);
  EXPECT_EQ(a.ChordStructs[1].Second, 0);  // missing: 0
  EXPECT_TRUE(a.LastError.empty());
  CAccompaniment missing;
  missing.LoadAccompaniment((f.dir / "nowhere").string());
  EXPECT_TRUE(missing.Rhythms.empty());
  EXPECT_EQ(missing.LastError, "-1:指定的文件不存在!");
  std::filesystem::create_directories(f.dir / "odd" / "chordstruct.ini");  // there, but no file to read
  CAccompaniment unreadable;
  unreadable.LoadAccompaniment((f.dir / "odd").string());
  EXPECT_EQ(unreadable.LastError, "-1:打开文件失败!");
  EXPECT_EQ(RootSemitone(""), 60);
  EXPECT_EQ(RootSemitone("bC"), -1);
  EXPECT_EQ(RootSemitone("#B"), 12);
  EXPECT_EQ(RootSemitone("x"), 0);
}

TEST(Accompaniment, PatternsScaleTransposeByChordAndLoop) {
  Folder f;
  WritePattern((f.dir / "p.mid").string());
  f.Write("rhythm.ini", "[RhythmList]\nCount=1\n[Rhythm1]\nName=pop\nNumber=3\nData=p.mid\n");
  // "M" leaves the pattern; "m" lowers every E by a semitone.
  f.Write("chord.ini", "[ChordList]\nCount=2\n[Chord0]\nName=M\nNumber=1\n[Chord1]\nName=m\nNumber=2\nData=0,0,0,0,-1\n");
  CAccompaniment a;
  a.LoadAccompaniment(f.dir.string());
  Sink sink;
  a.OutputPort = &sink;

  CMidiSequence song;  // division 240
  song.AddTimeSignature(0, 4, 4, 24, 8);
  song.AddText(0, "!r:pop");
  song.AddText(0, "!c:bE");
  song.AddText(600, "!c:Gm");
  song.AddText(700, "!c:Xyz");  // unknown type: the chords stop
  song.AddText(800, "!r:jazz");  // unknown rhythm: everything stops
  a.AttachAccompaniment(song);
  ASSERT_EQ(a.EventList.size(), 6u);  // the time signature and the texts
  EXPECT_EQ(a.EventList[1].Number, 0);
  EXPECT_EQ(a.EventList[2].Number, 0 + 3 * 65536);
  EXPECT_EQ(a.EventList[3].Number, 1 + 7 * 65536);
  EXPECT_EQ(a.EventList[4].Number, -1);
  EXPECT_EQ(a.EventList[5].Number, -1);
  // Scaled into the song's division when loaded: 960 ticks at 480 is 480 here.
  EXPECT_EQ(a.Rhythms[0].Pattern.Events.back().Tick, 480);

  // Tick 0: the rhythm's program; silencing the chord pattern before the
  // chord sends its releases; then the drum, and the chord pattern on flat E:
  // E (64) plays G (67); channels 8 and 10 are transposed, never adjusted.
  a.SeekAccompaniment(0);
  a.AccompanimentTick(0);
  const std::vector<uint32_t> chordOns = {Msg(0xC0, 24, 0), Msg(0x90, 67, 90), Msg(0x98, 67, 90), Msg(0x9A, 67, 90)};
  std::vector<uint32_t> expected = {Msg(0xC0, 24, 0), Msg(0x80, 64, 0), Msg(0x88, 64, 0), Msg(0x8A, 64, 0), Msg(0x99, 36, 100)};
  expected.insert(expected.end(), chordOns.begin(), chordOns.end());
  EXPECT_EQ(sink.Take(), expected);
  a.AccompanimentTick(479);
  EXPECT_EQ(sink.Take(), (std::vector<uint32_t>{Msg(0x89, 36, 0), Msg(0x80, 67, 0), Msg(0x88, 67, 0), Msg(0x8A, 67, 0)}));
  // Tick 480 ends the first round (the controller at its end) and starts
  // the next at once.
  a.AccompanimentTick(480);
  expected = {Msg(0x99, 36, 100), Msg(0xB0, 7, 100)};
  expected.insert(expected.end(), chordOns.begin(), chordOns.end());
  EXPECT_EQ(sink.Take(), expected);
  // G minor at 600: the sounding chord notes end, the chord pattern restarts
  // there, down five semitones (59), the E lowered once more on channel 0;
  // the drum loop goes on (its release at 120).
  const std::vector<uint32_t> gMinorAt600 = {Msg(0x80, 67, 0), Msg(0x88, 67, 0), Msg(0x8A, 67, 0), Msg(0x89, 36, 0),
                                             Msg(0xC0, 24, 0), Msg(0x90, 58, 90), Msg(0x98, 59, 90), Msg(0x9A, 59, 90)};
  a.AccompanimentTick(600);
  EXPECT_EQ(sink.Take(), gMinorAt600);
  const std::vector<uint32_t> gMinorOffs = {Msg(0x80, 58, 0), Msg(0x88, 59, 0), Msg(0x8A, 59, 0)};
  a.AccompanimentTick(700);  // unknown chord: silenced and off
  EXPECT_EQ(sink.Take(), gMinorOffs);
  a.AccompanimentTick(799);
  EXPECT_EQ(sink.Take(), (std::vector<uint32_t>{}));  // drums between hits; chords off
  a.AccompanimentTick(800);  // unknown rhythm: both silenced and off
  a.AccompanimentTick(1500);
  EXPECT_EQ(sink.Take(), gMinorOffs);

  // Seeking into the second round places both players inside the pattern:
  // nothing before the target is played again.
  a.SeekAccompaniment(500);
  EXPECT_EQ(a.Drums.LoopStart, 480);
  EXPECT_EQ(a.Drums.Position, 1u);  // past the hit at 0, at the release at 120
  EXPECT_EQ(a.Chords.Position, 4u);
  sink.Take();
  a.AccompanimentTick(500);
  EXPECT_EQ(sink.Take(), (std::vector<uint32_t>{}));
  a.AccompanimentTick(600);
  EXPECT_EQ(sink.Take(), gMinorAt600);
}

}  // namespace

#ifdef QUAVIX_RES_DIR
namespace {

// Every shipped style, under A minor: it loads, drums and chords sound, and
// every chord note is a tone of A minor (the pattern's A becomes a sixth).
TEST(Accompaniment, ShippedStylesPlayUnderAChord) {
  CAccompaniment a;
  a.LoadAccompaniment(QUAVIX_RES_DIR);
  ASSERT_GE(a.Rhythms.size(), 8u);
  ASSERT_GE(a.ChordTypes.size(), 12u);
  EXPECT_FALSE(a.ChordStructs.empty());
  for (size_t r = 0; r < a.Rhythms.size(); ++r) {
    SCOPED_TRACE(a.Rhythms[r].Path);
    CMidiSequence song;  // division 240
    song.AddText(0, "!r:" + a.Rhythms[r].Name);
    song.AddText(0, "!c:Am");
    a.AttachAccompaniment(song);
    ASSERT_EQ(a.EventList[0].Number, int(r));
    Sink sink;
    a.OutputPort = &sink;
    a.SeekAccompaniment(0);
    for (int32_t t = 0; t < 240 * 8; ++t) a.AccompanimentTick(t);
    int drums = 0, chords = 0;
    for (uint32_t m : sink.sent) {
      if ((m & 0xF0) != 0x90 || (m >> 16) == 0) continue;
      const int channel = m & 0x0F, pitch = (m >> 8) & 0x7F;
      if (channel == 9) {
        ++drums;
        continue;
      }
      ++chords;
      const int pc = pitch % 12;
      if (channel == 8 || channel == 10) EXPECT_TRUE(pc == 9 || pc == 4 || pc == 1 || pc == 0) << pitch;  // root, fifth, octave (not bent)
      else EXPECT_TRUE(pc == 9 || pc == 0 || pc == 4 || pc == 6) << pitch;
    }
    EXPECT_GT(drums, 4);
    EXPECT_GT(chords, 4);
    // Whole bars: the loop ends on a beat, not on the last release.
    EXPECT_EQ(a.Drums.LoopLength % 120, 0) << a.Drums.LoopLength;
  }
}

}  // namespace
#endif

#include "performance/midi_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> DataOf(const MidiEventRec& e) { return {e.Data, e.Data + e.DataLength()}; }

TEST(MidiEventRec, MessageBytesReadAsThePackedShortMessage) {
  MidiEventRec e;
  e.Status = 0x93;
  e.Data1 = 60;
  e.Data2 = 100;
  e.Tag = 'n';
  EXPECT_EQ(e.ShortMessage(), 0x643C93u);
  uint32_t word;
  std::memcpy(&word, &e.Status, 4);
  EXPECT_EQ(word, 0x6E643C93u);  // the record's own four bytes, little-endian
}

TEST(MidiSequence, ConstructorsLayOutTheirData) {
  CMidiSequence seq;
  const MidiEventRec& empty = seq.AddText(0, "");
  EXPECT_TRUE(empty.Data != nullptr && empty.Data2 == 0);
  EXPECT_EQ(DataOf(seq.AddTempo(0, 600000)), (std::vector<uint8_t>{0x09, 0x27, 0xC0}));
  EXPECT_EQ(DataOf(seq.AddKeySignature(0, 3, 0)), (std::vector<uint8_t>{3, 0}));
  EXPECT_EQ(DataOf(seq.AddKeySignature(0, -3, 1)), (std::vector<uint8_t>{0xFD, 1}));
  // Denominator to power of two: the smallest k with 2^k >= d, 8 past 128.
  const std::pair<int, int> powers[] = {{1, 0}, {2, 1}, {3, 2}, {4, 2}, {8, 3}, {128, 7}, {129, 8}};
  for (auto [d, k] : powers) EXPECT_EQ(DataOf(seq.AddTimeSignature(0, 6, d, 24, 8)), (std::vector<uint8_t>{6, uint8_t(k), 24, 8})) << d;
  const MidiEventRec& text = seq.AddText(5, std::string(300, 'x'));
  EXPECT_EQ(text.Status, 0xFF);
  EXPECT_EQ(text.Data1, META_TEXT);
  EXPECT_EQ(text.Data2, 255);
  EXPECT_EQ(text.Text(), std::string(255, 'x'));
  const size_t blocks = seq.DataBlockCount();
  EXPECT_EQ(blocks, seq.Events.size());
  // Blocks stay put while more are added.
  const uint8_t* first = seq.Events[0].Data;
  for (int i = 0; i < 2000; ++i) seq.AddText(i, std::string(200, char('a' + i % 26)));
  EXPECT_EQ(seq.Events[0].Data, first);
  EXPECT_EQ(seq.Events.back().Text(), std::string(200, char('a' + 1999 % 26)));

  seq.FileName = "x.mid";
  seq.Clear();
  EXPECT_EQ(seq.FileName, "Untitled.mid");
  EXPECT_TRUE(seq.Events.empty());
  EXPECT_EQ(seq.DataBlockCount(), 0u);
}

TEST(SortEvents, OffsThenConductorThenOthersThenOnsAtOneTick) {
  CMidiSequence seq;
  seq.AddEvent(10, 0x90, 60, 100);
  seq.AddText(10, "!n1");
  seq.AddEvent(10, 0xC0, 5, 0);
  seq.AddTempo(10, 500000);
  seq.AddEvent(10, 0x80, 60, 0);
  seq.AddEvent(5, 0x90, 62, 100);
  seq.AddEvent(-3, 0xB0, 7, 100);
  SortEvents(seq.Events);
  std::vector<std::pair<int, int>> got;
  for (const MidiEventRec& e : seq.Events) got.emplace_back(e.Tick, e.Status);
  EXPECT_EQ(got, (std::vector<std::pair<int, int>>{{-3, 0xB0}, {5, 0x90}, {10, 0x80}, {10, 0xFF}, {10, 0xFF}, {10, 0xC0}, {10, 0x90}}));
  EXPECT_EQ(seq.Events[3].Data1, META_TEMPO);  // the conductor's meta before the text
  EXPECT_EQ(seq.Events[4].Data1, META_TEXT);
}

TEST(SortEvents, LargeListsMatchAStableOrderingByTickAndClass) {
  std::mt19937 rng(7);
  std::vector<MidiEventRec> events(200000);
  const uint8_t statuses[] = {0x80, 0x90, 0xB0, 0xC1, 0xFF};
  for (size_t i = 0; i < events.size(); ++i) {
    events[i].Tick = int32_t(rng() % 5000) - (i % 97 == 0 ? 100000 : 0);
    events[i].Status = statuses[rng() % 5];
    events[i].Data1 = rng() % 2 ? META_TEXT : META_TEMPO;
    events[i].Number = int32_t(i);
  }
  auto rank = [](const MidiEventRec& e) {
    if ((e.Status & 0xF0) == 0x80) return 0;
    if ((e.Status & 0xF0) == 0x90) return 3;
    return e.Status == 0xFF && e.Data1 != META_TEXT ? 1 : 2;
  };
  std::vector<MidiEventRec> expected = events;
  std::stable_sort(expected.begin(), expected.end(), [&](const MidiEventRec& a, const MidiEventRec& b) {
    return a.Tick != b.Tick ? a.Tick < b.Tick : rank(a) < rank(b);
  });
  SortEvents(events);
  ASSERT_EQ(events.size(), expected.size());
  for (size_t i = 0; i < events.size(); ++i) ASSERT_EQ(events[i].Number, expected[i].Number) << i;
}

struct RecordingPort : MidiMessageSink {
  std::vector<uint32_t> sent;
  void SendShortMessage(uint32_t m) override { sent.push_back(m); }
};
struct RecordingClock : TempoListener {
  std::vector<int32_t> tempos;
  void SetTempo(int32_t t) override { tempos.push_back(t); }
};

TEST(MidiSequence, SeekToSendsControlsAndAppliesMetasBeforeTheTarget) {
  CMidiSequence seq;
  RecordingPort port;
  RecordingClock clock;
  seq.OutputPort = &port;
  seq.PlayClock = &clock;
  seq.ChannelMask = 0;  // seeking sends regardless of the mask
  seq.AddEvent(0, 0xC1, 40, 0);
  seq.AddTempo(0, 500000);
  seq.AddEvent(0, 0x90, 60, 100);
  seq.AddTimeSignature(100, 3, 8, 24, 8);
  seq.AddTempo(200, 100);  // below the division: the clock would stall
  seq.AddEvent(300, 0xB0, 64, 127);
  seq.AddEvent(480, 0x80, 60, 0);
  seq.AddEvent(480, 0xB0, 64, 0);
  seq.SeekTo(480);
  EXPECT_EQ(port.sent, (std::vector<uint32_t>{0x28C1, 0x7F40B0}));
  EXPECT_EQ(clock.tempos, std::vector<int32_t>{500000});
  EXPECT_EQ(seq.Tempo, 500000);
  EXPECT_EQ(seq.Numerator, 3);
  EXPECT_EQ(seq.Denominator, 8);
  EXPECT_EQ(seq.PlayPosition, 6u);
  seq.SeekTo(10000);
  EXPECT_EQ(seq.PlayPosition, seq.Events.size());
}

}  // namespace

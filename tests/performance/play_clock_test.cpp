// The live playing path: clock, sequence, ports and metronome together, on a
// clock thread driven by a time source the test moves by hand.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "performance/metronome.h"
#include "performance/midi_port.h"
#include "performance/midi_sequence.h"
#include "performance/play_clock.h"

namespace {

// What a device received, shared between the clock thread and the test.
struct Received {
  std::mutex mutex;
  std::condition_variable cv;
  std::vector<uint32_t> messages;
  std::vector<int32_t> ticks;        // every notification
  std::vector<int32_t> tempoAtTick;  // the clock's tempo after each notification

  template <class Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock lock(mutex);
    return cv.wait_for(lock, std::chrono::seconds(10), [&] { return pred(); });
  }
};

struct RecordingDevice : MidiOutDevice {
  Received* into;
  explicit RecordingDevice(Received* r) : into(r) {}
  void SendShortMessage(uint32_t m) override {
    std::lock_guard lock(into->mutex);
    into->messages.push_back(m);
  }
};

MidiOutOpener RecordingOpener(Received* r) {
  return [r](int, std::string*) -> std::unique_ptr<MidiOutDevice> { return std::make_unique<RecordingDevice>(r); };
}

// A time source the test sets; the clock thread only reads it.
struct ManualTime {
  std::atomic<double> now{1e6};
  CPlayClock::TimeSource Source() {
    return [this] { return now.load(); };
  }
};

// The owner's side of playing: every notification plays the sequence up to
// the tick, as part play does.
void Attach(CPlayClock& clock, CMidiSequence& seq, Received& r) {
  clock.SetNotify([&clock, &seq, &r](int32_t tick) {
    seq.PlayUpTo(tick);
    std::lock_guard lock(r.mutex);
    r.ticks.push_back(tick);
    r.tempoAtTick.push_back(clock.Tempo());
    r.cv.notify_all();
  });
}

int32_t LastTick(Received& r) { return r.ticks.empty() ? -2 : r.ticks.back(); }

TEST(PlayClock, PlaysTheSequenceOnWholeTicksWithPauseTempoChangesAndMask) {
  CMidiSequence seq;  // division 240, tempo 600000: 2500 us per tick
  seq.AddEvent(0, 0xC0, 5, 0);
  seq.AddEvent(0, 0x90, 60, 100);
  seq.AddEvent(2, 0x91, 48, 90);  // channel 1 is masked
  seq.AddEvent(3, 0x80, 60, 0);
  seq.AddEvent(4, 0x90, 62, 100);
  seq.AddEvent(900, 0xB0, 7, 100);
  seq.AddTempo(960, 300000);
  seq.AddEvent(960, 0x90, 64, 100);
  seq.ChannelMask = 0xFFFD;

  Received r;
  CMidiOutPort port(RecordingOpener(&r));
  ASSERT_EQ(port.Open(), 1);
  ManualTime time;
  CPlayClock clock;
  clock.SetTimeSource(time.Source());
  clock.SetDelay(1);
  seq.OutputPort = &port;
  seq.PlayClock = &clock;
  Attach(clock, seq, r);
  clock.SetTempo(seq.Tempo);
  clock.SetDivision(seq.Division);
  seq.SeekTo(0);
  ASSERT_EQ(clock.Start(), 1);
  EXPECT_EQ(clock.Tick(), -1);

  // 10 ms at 2500 us per tick: four ticks on from -1, in whole ticks.
  time.now = 1e6 + 10000;
  ASSERT_TRUE(r.WaitFor([&] { return LastTick(r) >= 3; }));
  // 1250 us more is half a tick: the remainder waits in the origin.
  time.now = 1e6 + 11250;
  ASSERT_EQ(clock.Pause(), 1);
  EXPECT_EQ(clock.Pause(), 0);
  time.now = 1e6 + 500000;  // a long pause counts nothing
  ASSERT_EQ(clock.Resume(), 1);
  EXPECT_EQ(clock.Resume(), 0);
  time.now = 1e6 + 500000 + 2500;
  ASSERT_TRUE(r.WaitFor([&] { return LastTick(r) >= 4; }));
  {
    std::lock_guard lock(r.mutex);
    EXPECT_EQ(r.ticks, (std::vector<int32_t>{3, 4}));
    // The program, then the notes up to tick 4, channel 1 left out.
    EXPECT_EQ(r.messages, (std::vector<uint32_t>{0x00C0, 0x00C1, 0x05C0, 0x643C90, 0x3C80, 0x643E90}));
  }
  clock.Stop();
  EXPECT_EQ(clock.State(), CPlayClock::kStopped);
  EXPECT_EQ(clock.Tick(), 0);

  // From tick 950: the tempo event at 960 changes the rate only when 960 is played.
  {
    std::lock_guard lock(r.mutex);
    r.messages.clear();
    r.ticks.clear();
    r.tempoAtTick.clear();
  }
  time.now = 2e6;
  seq.SeekTo(950);
  ASSERT_EQ(clock.Start(), 1);
  clock.SetTick(950);
  time.now = 2e6 + 9 * 2500;
  ASSERT_TRUE(r.WaitFor([&] { return LastTick(r) >= 959; }));
  time.now = 2e6 + 10 * 2500;
  ASSERT_TRUE(r.WaitFor([&] { return LastTick(r) >= 960; }));
  time.now = 2e6 + 10 * 2500 + 2500;  // two ticks at 1250 us
  ASSERT_TRUE(r.WaitFor([&] { return LastTick(r) >= 962; }));
  clock.Stop();
  std::lock_guard lock(r.mutex);
  EXPECT_EQ(r.ticks, (std::vector<int32_t>{959, 960, 962}));
  EXPECT_EQ(r.tempoAtTick, (std::vector<int32_t>{600000, 300000, 300000}));
  // Seeking sent the program and the controller before 950, no notes;
  // playing went on with the note at 960.
  EXPECT_EQ(r.messages, (std::vector<uint32_t>{0x05C0, 0x6407B0, 0x644090}));
}

TEST(PlayClock, StopEndsTheChainAndAStoppedClockStopsAtOnce) {
  CPlayClock clock;
  clock.Stop();  // never started
  EXPECT_FALSE(clock.TimerArmed());
  std::atomic<int> calls{0};
  clock.SetNotify([&](int32_t) { ++calls; });
  ASSERT_EQ(clock.Start(), 1);
  EXPECT_TRUE(clock.TimerArmed());
  clock.Stop();
  EXPECT_FALSE(clock.TimerArmed());
  const int after = calls.load();
  clock.Stop();  // the chain has ended: nothing to wait for
  EXPECT_EQ(calls.load(), after);
  EXPECT_FALSE(clock.Step());  // a wake-up after stopping ends the chain
  EXPECT_EQ(clock.Pause(), 0);
  // A zero division is stored as 1.
  clock.SetDivision(0);
  EXPECT_EQ(clock.Division(), 1);
}

// On the real steady clock: every event of a short sequence arrives once,
// in order, and the last notification is past its end.
TEST(PlayClock, RealTimePlayingDeliversEveryEventInOrder) {
  CMidiSequence seq;
  seq.Division = 480;
  seq.Tempo = 120000;  // 250 us per tick
  for (int i = 0; i < 40; ++i) {
    seq.AddEvent(i * 5, 0x90, uint8_t(40 + i), 100);
    seq.AddEvent(i * 5 + 4, 0x80, uint8_t(40 + i), 0);
  }
  Received r;
  CMidiOutPort port(RecordingOpener(&r));
  port.Open();
  CPlayClock clock;
  clock.SetDelay(1);
  seq.OutputPort = &port;
  Attach(clock, seq, r);
  clock.SetTempo(seq.Tempo);
  clock.SetDivision(seq.Division);
  seq.SeekTo(0);
  ASSERT_EQ(clock.Start(), 1);
  ASSERT_TRUE(r.WaitFor([&] { return LastTick(r) > 200; }));
  clock.Stop();
  std::lock_guard lock(r.mutex);
  ASSERT_EQ(r.messages.size(), 2u + 80u);
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(r.messages[2 + 2 * i], 0x640090u | uint32_t(40 + i) << 8);
    EXPECT_EQ(r.messages[3 + 2 * i], 0x80u | uint32_t(40 + i) << 8);
  }
  for (size_t i = 1; i < r.ticks.size(); ++i) EXPECT_LT(r.ticks[i - 1], r.ticks[i]);
}

TEST(MidiPorts, OpenFailureProgramsThruAndInputTicks) {
  Received r;
  bool fail = true;
  CMidiOutPort port([&](int device, std::string* error) -> std::unique_ptr<MidiOutDevice> {
    if (fail) {
      *error = "没有声卡";
      return nullptr;
    }
    return std::make_unique<RecordingDevice>(&r);
  });
  EXPECT_EQ(port.SetProgram(16, 3), -1);
  EXPECT_EQ(port.SetProgram(1, 40), 0);  // stored while closed
  EXPECT_EQ(port.Open(), -1);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), "没有声卡");
  port.SendShortMessage(0x90);  // closed: nothing, no crash
  fail = false;
  EXPECT_EQ(port.Open(), 1);
  EXPECT_EQ(port.SetProgram(0, 7), 1);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(port.Close(), 0);
  EXPECT_EQ(r.messages, (std::vector<uint32_t>{0x00C0, 0x28C1, 0x07C0}));

  // Input: thru to the output, and each message with the clock's tick.
  struct ScriptedIn : MidiInDevice {
    Handler handler;
    bool Start(Handler h) override {
      handler = std::move(h);
      return true;
    }
    void Stop() override { handler = nullptr; }
  };
  ScriptedIn* in = nullptr;
  CMidiInPort input([&](int, std::string*) -> std::unique_ptr<MidiInDevice> {
    auto d = std::make_unique<ScriptedIn>();
    in = d.get();
    return d;
  });
  EXPECT_EQ(input.Start(), -1);  // closed
  CPlayClock clock;
  clock.SetTick(77);
  input.SetClock(&clock);
  std::vector<std::pair<uint32_t, int32_t>> got;
  input.SetReceiver([&](uint32_t m, int32_t t) { got.emplace_back(m, t); });
  ASSERT_EQ(input.Open(), 1);
  EXPECT_EQ(input.Open(), 0);
  ASSERT_EQ(input.Start(), 1);
  port.Open();
  r.messages.clear();
  input.Connect(&port);
  in->handler(0x7F3C90);
  in->handler(0xF8);  // clock bytes are not passed on
  input.Disconnect();
  in->handler(0x3C80);
  EXPECT_EQ(r.messages, (std::vector<uint32_t>{0x7F3C90}));
  EXPECT_EQ(got, (std::vector<std::pair<uint32_t, int32_t>>{{0x7F3C90, 77}, {0x3C80, 77}}));
  EXPECT_EQ(input.Close(), 1);
  EXPECT_EQ(input.Close(), 0);
}

TEST(Metronome, ClicksEveryBeatAccentsTheBarAndEndsEachClick) {
  CMetronome m;  // division 240
  m.BeatsPerBar = 3;
  m.BeatUnit = 4;
  struct Sink : MidiMessageSink {
    std::vector<uint32_t> sent;
    void SendShortMessage(uint32_t v) override { sent.push_back(v); }
  } sink;
  m.SendProgram(&sink);
  int clicks = 0;
  for (int32_t t = 0; t <= 720; t += 10) clicks += m.Tick(&sink, t);
  EXPECT_EQ(clicks, 4);  // beats 0, 1, 2 and the next bar's first
  const uint32_t on0 = 0x644B99, off0 = 0x644B89, on = 0x505099, off = 0x505089;
  EXPECT_EQ(sink.sent, (std::vector<uint32_t>{0x73C9, on0, off0, on, off, on, off, on0}));
  // A beat unit of 0 clicks nothing; eighths count twice as many beats.
  m.Reset();
  m.BeatUnit = 0;
  EXPECT_EQ(m.Tick(&sink, 0), 0);
  m.BeatUnit = 8;
  m.Reset();
  EXPECT_EQ(m.Tick(&sink, 120), 1);
  EXPECT_EQ(m.LastBeat, 1);
}

}  // namespace

#include "editor/app/playback.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/paths.h"
#include "editing/recorder.h"
#include "model/notes.h"
#include "model/score.h"
#include "performance/build_performance.h"
#include "performance/midi_file.h"

EditorPlayback::EditorPlayback(MidiOutOpener out, MidiInOpener in, UiPoster& poster)
    : poster_(poster), out_(std::move(out)), in_(std::move(in)) {
  clock_.SetDelay(1);
  clock_.SetNotify([this](int32_t tick) { OnClockTick(tick); });
  in_.SetClock(&clock_);
  // Input arrives on the device's thread: only the values travel on.
  in_.SetReceiver([this](uint32_t message, int32_t tick) {
    poster_.Post([this, message, tick] { OnInputMessage(message, tick); });
  });
}

EditorPlayback::~EditorPlayback() {
  clock_.Stop();
  in_.Close();
  out_.Close();
}

// The output opens on first use, not with the window: the synthesizer loads
// a large SoundFont, which the editor's start-up should not wait for. A
// device that failed is tried again at the next play (without a sound output
// that fails at once, before any SoundFont is read).
void EditorPlayback::EnsureOutputOpen() {
  if (!out_.IsOpen()) out_.Open();
}

bool EditorPlayback::PlayPart(const CScore& score) {
  Stop();
  part_.Clear();
  BuildPartPerformance(&score, &part_);
  WriteMidiFile(part_, qx::TempFilePath("~PlayPart.mid"));  // for a look in another program; a failure changes nothing
  const CNote* first = nullptr;
  const CNote* last = nullptr;
  for (const auto& o : score.Objects()) {
    if (o->KindCode() != Kind::Note || !o->Selected) continue;
    const auto* note = static_cast<const CNote*>(o.get());
    if (!first) first = note;
    last = note;
  }
  if (!first) return false;
  const int32_t start = first->PlayStart;
  partEnd_ = last->PlayStart + last->PlayTicks;  // object order, not time order
  EnsureOutputOpen();
  part_.OutputPort = &out_;
  part_.PlayClock = &clock_;
  part_.SeekTo(start);
  // A tempo below the division would give no microseconds per tick and
  // stall the clock.
  clock_.SetTempo(std::max(part_.Tempo, part_.Division));
  clock_.SetDivision(part_.Division);
  partPlaying_ = true;
  endPosted_ = false;
  if (!clock_.Start()) return true;  // no clock thread: nothing advances
  clock_.SetTick(start);
  return true;
}

void EditorPlayback::OnClockTick(int32_t tick) {
  if (partPlaying_) {
    if (part_.OutputPort) part_.PlayUpTo(tick);
    if (partEnd_ < tick && !endPosted_) {
      // The end: the port is let go here, the stop itself runs on the
      // interface thread (it waits for this thread to finish).
      part_.OutputPort = nullptr;
      endPosted_ = true;
      poster_.Post([this] {
        if (partPlaying_) Stop();
      });
    }
  }
  if (recorder_) {
    const int made = measuresMade_.load();
    if (made != measuresShown_.load()) {
      measuresShown_.store(made);
      if (onNewMeasures_) poster_.Post(onNewMeasures_);
    }
  }
}

bool EditorPlayback::StartRecording(CScore& target, std::function<void()> onInput,
                                    std::function<void()> onNewMeasures) {
  Stop();
  auto made = std::make_unique<CRecorder>(target);
  CRecorder& recorder = *made;
  recorder.QuantiseSetting = 4;
  recorder.MeasuresPerLine = 3;
  ResetRecorder(recorder);
  SplitVoicesByChannel(recorder);
  onInput_ = std::move(onInput);
  onNewMeasures_ = std::move(onNewMeasures);
  measuresMade_.store(int(recorder.Measures.size()));
  measuresShown_.store(int(recorder.Measures.size()));
  bool inputOk = in_.Open() == 1;
  if (inputOk) inputOk = in_.Start() == 1;
  const CScore& score = *recorder.Score;
  metronome_.Division = score.TimeBase;
  metronome_.BeatsPerBar = uint8_t(score.Numerator);
  metronome_.BeatUnit = uint8_t(score.Denominator);
  EnsureOutputOpen();
  metronome_.SendProgram(&out_);
  in_.Connect(&out_);
  recorder_ = std::move(made);
  clock_.SetDivision(score.TimeBase);
  if (clock_.Start()) clock_.SetTick(0);
  return inputOk;
}

void EditorPlayback::OnInputMessage(uint32_t message, int32_t tick) {
  if (!recorder_) return;  // arrived after the stop
  const int status = message & 0xFF, key = (message >> 8) & 0x7F, velocity = (message >> 16) & 0x7F;
  if ((status & 0xF0) == 0x80 || ((status & 0xF0) == 0x90 && velocity == 0))
    RecordNoteOff(*recorder_, tick, key, status & 0x0F);
  else if ((status & 0xF0) == 0x90)
    RecordNoteOn(*recorder_, tick, status, key);
  else
    return;
  measuresMade_.store(int(recorder_->Measures.size()));
  if (onInput_) onInput_();
}

bool EditorPlayback::Stop(int settleMs, bool reopen) {
  if (clock_.State() == CPlayClock::kStopped) return false;
  // The clock first: once it has stopped no notification reads the sequence.
  clock_.Stop();
  part_.OutputPort = nullptr;
  partPlaying_ = false;
  in_.StopReset();
  in_.Close();
  in_.Disconnect();
  // Closing and reopening silences every note still sounding.
  if (out_.Close() && reopen) out_.Open();
  if (settleMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  const bool recorded = recorder_ != nullptr;
  recorder_.reset();
  onInput_ = nullptr;
  onNewMeasures_ = nullptr;
  return recorded;
}

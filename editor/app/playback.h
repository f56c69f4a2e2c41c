// The editor's MIDI objects: the output and input ports, the play clock, the
// metronome and the part-play sequence, with part play, keyboard recording
// and stop. Qt-free: devices come from openers, the way back to the user
// interface thread is a UiPoster.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/ui_poster.h"
#include "performance/metronome.h"
#include "performance/midi_port.h"
#include "performance/midi_sequence.h"
#include "performance/play_clock.h"

class CScore;
class CRecorder;

class EditorPlayback {
 public:
  // Message number of an input message (short message, tick).
  static constexpr int kInputMessage = 2027;

  EditorPlayback(MidiOutOpener out, MidiInOpener in, UiPoster& poster);
  ~EditorPlayback();

  // The clock runs: part play or recording.
  bool IsPlaying() const { return clock_.State() != CPlayClock::kStopped; }
  bool IsRecording() const { return recorder_ != nullptr; }
  // The recorder while recording, else nullptr.
  CRecorder* Recorder() const { return recorder_.get(); }

  // Plays the selected notes: the part performance is written to
  // "~PlayPart.mid" in the temporary folder and played from the first
  // selected note's start to the last one's end. False when no note is
  // selected (nothing plays).
  bool PlayPart(const CScore& score);

  // Records from input device 0 into the score: a recorder for it is made, input is heard through the output, and the clock's tick stamps
  // every key. `onInput` runs on the user interface thread for each message
  // (after the recorder took it); `onNewMeasures` whenever the recorder has
  // made more measures than were shown. Returns false when the input device
  // cannot be opened (recording goes on without input, as the clock and the
  // thru connection still start); the reason is in InputError().
  bool StartRecording(CScore& score, std::function<void()> onInput, std::function<void()> onNewMeasures);
  const std::string& InputError() const { return in_.LastError(); }

  // Ends part play or recording: the clock stops, input is closed, the output
  // is reopened (silencing every sounding note), then a pause of `settleMs`.
  // True when a recording ended. At shutdown (`reopen` false) the output is
  // only closed: nothing will play on it again.
  bool Stop(int settleMs = 100, bool reopen = true);

  // A short message from the input, on the user interface thread: note-ons
  // and note-offs go to the recorder, everything else is ignored.
  void OnInputMessage(uint32_t message, int32_t tick);

  CMidiOutPort& OutPort() { return out_; }
  CMidiInPort& InPort() { return in_; }
  CPlayClock& Clock() { return clock_; }
  CMetronome& Metronome() { return metronome_; }
  CMidiSequence& PartSequence() { return part_; }
  int32_t PartEndTick() const { return partEnd_; }

 private:
  void OnClockTick(int32_t tick);
  void EnsureOutputOpen();

  UiPoster& poster_;
  CMidiOutPort out_;
  CMidiInPort in_;
  CPlayClock clock_;
  CMetronome metronome_;
  CMidiSequence part_;
  int32_t partEnd_ = 0;
  bool partPlaying_ = false;  // the clock thread plays part_
  bool endPosted_ = false;    // clock thread only
  std::unique_ptr<CRecorder> recorder_;
  std::atomic<int> measuresMade_{0};   // the recorder's measure count, set on the interface thread
  std::atomic<int> measuresShown_{0};  // what the view was last told about
  std::function<void()> onInput_;
  std::function<void()> onNewMeasures_;
};

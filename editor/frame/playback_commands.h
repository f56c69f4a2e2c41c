// The frame's playing commands: part play (33064), MIDI keyboard recording
// (32974) and stop (32975), on the frame's MIDI objects.
#pragma once

#include <QPointer>
#include <memory>

#include "editor/app/playback.h"
#include "platform/qt_ui_poster.h"

class CMainFrame;
class CScoreEditDoc;

class PlaybackCommands {
 public:
  // Devices through the openers; the real ones when they are empty.
  PlaybackCommands(CMainFrame& frame, MidiOutOpener out = {}, MidiInOpener in = {});
  ~PlaybackCommands();

  // Other devices (tests); only while nothing plays.
  void UseDevices(MidiOutOpener out, MidiInOpener in);
  // True when the id is one of the three (handled).
  bool Run(int id);
  EditorPlayback& Playback() { return *playback_; }
  bool IsPlaying() const { return playback_->IsPlaying(); }

 private:
  void Stop();
  void Record();

  CMainFrame& frame_;
  QtUiPoster poster_;
  std::unique_ptr<EditorPlayback> playback_;
  QPointer<CScoreEditDoc> target_;  // the document being recorded into
  QMetaObject::Connection targetClosing_;
};

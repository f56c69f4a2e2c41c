#include "editor/frame/playback_commands.h"

#include "common/ui_host.h"
#include "editor/app/score_document.h"
#include "editor/commands/command_table.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "model/score.h"
#include "platform/sound/soft_synth.h"

PlaybackCommands::PlaybackCommands(CMainFrame& frame, MidiOutOpener out, MidiInOpener in)
    : frame_(frame), poster_(&frame) {
  if (!out) out = OpenMidiOutDevice;
  if (!in) in = OpenMidiInDevice;
  playback_ = std::make_unique<EditorPlayback>(std::move(out), std::move(in), poster_);
}

PlaybackCommands::~PlaybackCommands() {
  QObject::disconnect(targetClosing_);
  playback_->Stop(0, false);
}

void PlaybackCommands::UseDevices(MidiOutOpener out, MidiInOpener in) {
  playback_->Stop(0);
  playback_ = std::make_unique<EditorPlayback>(std::move(out), std::move(in), poster_);
}

bool PlaybackCommands::Run(int id) {
  switch (id) {
    case 33064:
      if (CScoreEditDoc* doc = frame_.ActiveDocument()) {
        Stop();
        playback_->PlayPart(doc->Score());
      }
      return true;
    case kIdRecord: Record(); return true;
    case kIdStop: Stop(); return true;
    default: return false;
  }
}

void PlaybackCommands::Stop() {
  QPointer<CScoreEditDoc> target = target_;
  target_.clear();
  QObject::disconnect(targetClosing_);
  if (!playback_->Stop() || !target) return;
  // The recording is over: the score gets its derived layout, one journal
  // step (so that undo takes the whole recording back), the document is
  // marked changed and its views show the result.
  target->Score().UpdateDerived();
  target->Journal().RecordSnapshot();
  target->SetModified(true);
  emit target->Changed();
}

void PlaybackCommands::Record() {
  Stop();
  CScoreEditDoc* doc = frame_.ActiveDocument();
  if (!doc) return;
  doc->EnsureFirstSnapshot();  // undo returns to the score before the recording
  QPointer<CScoreEditDoc> target(doc);
  QPointer<CMainFrame> window(&frame_);
  const bool input = playback_->StartRecording(
      doc->Score(),
      // Each key played: the views show the notes at once.
      [target] {
        if (target) emit target->Changed();
      },
      // The recorder made a new system: the active view makes room for it.
      [window, target] {
        if (!window || !target) return;
        CScoreEditView* view = window->ActiveView();
        if (view && &view->Document() == target.data()) view->UpdateScrollSizes();
      });
  target_ = target;
  // Closing the document ends its recording before its score goes away.
  targetClosing_ = QObject::connect(doc, &QObject::destroyed, &frame_, [this] {
    QObject::disconnect(targetClosing_);
    target_.clear();
    playback_->Stop(0);
  });
  if (!input) frame_.Ui().MessageBox("打开MIDI输入设备失败");
}

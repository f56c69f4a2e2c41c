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

PlaybackCommands::~PlaybackCommands() { playback_->Stop(0); }

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
  if (!playback_->Stop() || !target) return;
  // The recording is over: the score gets its derived layout, the document
  // is marked changed and its views show the result.
  target->Score().UpdateDerived();
  target->SetModified(true);
  emit target->Changed();
}

void PlaybackCommands::Record() {
  Stop();
  CScoreEditDoc* doc = frame_.ActiveDocument();
  if (!doc) return;
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
  QObject::connect(doc, &QObject::destroyed, &frame_, [this, doc] {
    if (target_ && target_.data() != doc) return;
    playback_->Stop(0);
  });
  if (!input) frame_.Ui().MessageBox("打开MIDI输入设备失败");
}

#include "editor/commands/export_commands.h"

#include <QFileInfo>

#include "common/ui_host.h"
#include "editor/app/score_document.h"
#include "editor/frame/main_frame.h"
#include "model/score.h"
#include "model/score_open.h"
#include "common/paths.h"
#include <cstdio>
#include "performance/build_performance.h"
#include "performance/midi_file.h"
#include "performance/midi_sequence.h"

void ExportMidi(CMainFrame& frame, CScoreEditDoc& doc) {
  const std::string suggested = QFileInfo(doc.Title()).completeBaseName().toStdString() + ".mid";
  const auto path = frame.Ui().SaveFileName("MIDI文件 (*.mid)|*.mid", "mid", suggested);
  if (!path) return;
  // The performance is built on the score as the player would open it: saved
  // and read back, so the document itself is not touched.
  const std::string temp = qx::TempFilePath("~~quavix-export.q5s");
  CScore copy;
  std::string error;
  if (!doc.Score().SaveToFile(temp, &error) || !OpenScoreFile(copy, temp, &error)) {
    std::remove(temp.c_str());
    frame.Ui().MessageBox("无法写入 " + *path, "", UiHost::Icon::Warning);
    return;
  }
  std::remove(temp.c_str());
  CMidiSequence sequence;
  BuildPerformance(copy, sequence);
  if (WriteMidiFile(sequence, *path, &error) != 1)
    frame.Ui().MessageBox("无法写入 " + *path + "\n" + error, "", UiHost::Icon::Warning);
}

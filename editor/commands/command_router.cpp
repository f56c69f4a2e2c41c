#include "editor/commands/command_router.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QScrollBar>
#include <QFileInfo>
#include <cstdlib>
#include <map>
#include <string>

#include "common/paths.h"
#include "common/ui_host.h"
#include "editing/clipboard.h"
#include "exchange/musicxml/musicxml_export.h"
#include "editor/app/messages.h"
#include "editing/command_table.h"
#include "editor/app/score_document.h"
#include "editor/dialogs/grid_dialog.h"
#include "editor/dialogs/score_browser.h"
#include "editor/commands/command_table.h"
#include "editor/commands/export_commands.h"
#include "editor/frame/main_frame.h"
#include "editor/view/clipboard_bridge.h"
#include "editor/view/print_job.h"
#include "editor/view/score_view.h"
#include "model/notes.h"
#include "model/score.h"

namespace {

struct NumberPrompt {
  const char* Title;
  const char* Prompt;
  const char* Initial;
};

// The prompts of the commands that take a number.
const std::map<int, NumberPrompt> kPrompts = {
    {33052, {"选择层", "输入图层编号:", "0"}},
    {33053, {"选择声部", "输入声部编号:", "0"}},
    {33055, {"选择通道", "输入通道编号:", "0"}},
    {33084, {"自定义音符类型", "输入几连音:", "3"}},
    {33094, {"制作刮奏", "输入刮奏的持续时间:", ""}},
};

// A prompt's answer as a number: text that is no number reads as 0.
int ReadNumber(const std::string& text) { return std::atoi(text.c_str()); }

bool RunScoreTableCommand(CMainFrame& frame, CScoreEditView& view, const ScoreCommand& command) {
  CScoreEditDoc& doc = view.Document();
  CommandArgs args;
  args.X = doc.CaretX();
  args.Y = doc.CaretY();
  if (command.Input == CommandInput::Number) {
    auto it = kPrompts.find(command.Id);
    if (it == kPrompts.end()) return true;
    std::string initial = it->second.Initial;
    if (command.Id == 33094) {
      // The glissando lasts as long as the last captured note, unless told otherwise.
      const auto* note = dynamic_cast<const CNote*>(doc.Score().LastCaptured);
      initial = std::to_string(note ? note->Ticks : doc.Score().TimeBase);
    }
    auto answer = frame.Ui().Prompt(it->second.Title, it->second.Prompt, initial);
    if (!answer) return true;  // cancelled: nothing changes
    args.Number = ReadNumber(*answer);
  }
  doc.Score().LastError.clear();
  const CommandOutcome out = doc.RunCommand(command, args);
  if (!out.Result && doc.Score().LastError.rfind("-1:", 0) == 0)
    frame.Ui().MessageBox(doc.Score().LastError.substr(3), "", UiHost::Icon::Warning);
  if (out.Redraw & kAfterScrollSizes) view.UpdateScrollSizes();
  return true;
}

// The player beside the editor, handed a copy of the score.
void HandToPlayer(CMainFrame& frame, CScoreEditDoc& doc) {
  const std::string player = qx::ProgramPath("pelmora");
  if (!QFileInfo(QString::fromStdString(player)).isExecutable()) {
    frame.Ui().MessageBox("没有找到 pelmora");
    return;
  }
  const std::string copy = qx::TempFilePath("~~quavix.q5s");
  std::string error;
  if (!doc.Score().SaveToFile(copy, &error)) {
    frame.Ui().MessageBox("无法写入临时文件 " + copy, "", UiHost::Icon::Warning);
    return;
  }
  // Started on its own: the player outlives the editor and is not waited for.
  if (!QProcess::startDetached(QString::fromStdString(player), {QString::fromStdString(copy)}))
    frame.Ui().MessageBox("无法启动 " + player, "", UiHost::Icon::Warning);
}

// Copy, cut and the three pastes. A paste goes where the caret is, by the
// view's selection mode unless the command names what to paste.
bool RunClipboardCommand(CMainFrame& frame, CScoreEditView& view, int id) {
  CScoreEditDoc& doc = view.Document();
  CScore& score = doc.Score();
  if (id == kIdEditCopy || id == kIdEditCut) {
    const std::vector<uint8_t> payload = WriteClipboard(score);
    if (payload.empty()) return true;
    clipboard_bridge::Put(payload);
    if (id == kIdEditCut) RunScoreTableCommand(frame, view, *FindScoreCommand(kIdEditClear));
    frame.RefreshCommands();
    return true;
  }
  const std::vector<uint8_t> payload = clipboard_bridge::Take();
  if (payload.empty()) return true;
  int mode = view.SelectionMode();
  if (id == 33036) mode = 0;
  if (id == 33007) mode = 1;
  doc.EnsureFirstSnapshot();
  score.LastError.clear();
  const int pasted = mode == 0   ? PasteSystems(score, payload, doc.CaretX(), doc.CaretY())
                     : mode == 1 ? PasteNotes(score, payload, doc.CaretX(), doc.CaretY())
                                 : PasteObjects(score, payload);
  if (pasted > 0) {
    doc.Journal().RecordSnapshot();
    doc.SetModified(true);
  } else if (score.LastError.rfind("-1:", 0) == 0) {
    frame.Ui().MessageBox(score.LastError.substr(3), "", UiHost::Icon::Warning);
  }
  view.UpdateScrollSizes();
  emit doc.Changed();
  return true;
}

void ExportMusicXmlFile(CMainFrame& frame, CScoreEditDoc& doc) {
  std::string suggested = doc.Path().empty() ? doc.Title().toStdString() : doc.Path();
  suggested = qx::ReplaceExtension(suggested, ".musicxml");
  auto path = frame.Ui().SaveFileName("MusicXML文件(*.musicxml)|*.musicxml|压缩的MusicXML文件(*.mxl)|*.mxl||",
                                      ".musicxml", suggested);
  if (!path) return;
  std::string error;
  if (!SaveMusicXml(doc.Score(), *path, &error))
    frame.Ui().MessageBox("无法保存文件 " + *path + "\n" + ChineseFileReason(error), "", UiHost::Icon::Warning);
}

}  // namespace

bool RunViewCommand(CMainFrame& frame, CScoreEditView& view, int id) {
  CScoreEditDoc& doc = view.Document();
  const EditorCommand* row = FindEditorCommand(id);
  // Commands that are shown but not yet offered run nothing.
  if (row && (row->Enable == EnableRule::Pending || row->Enable == EnableRule::Never) && row->Scope == CommandScope::View)
    return true;
  switch (id) {
    case kIdEditCopy: case kIdEditCut: case kIdEditPaste: case 33036: case 33007:
      return RunClipboardCommand(frame, view, id);
    case kIdEditUndo: doc.Undo(); return true;
    case kIdEditRedo: doc.Redo(); return true;
    case kIdModeStaff: case kIdModeNote: case kIdModeGraphics: view.SetSelectionMode(id - kIdModeStaff); return true;
    case kIdDotSingle: doc.ToggleDot(false); return true;
    case kIdDotDouble: doc.ToggleDot(true); return true;
    case 33005: view.ScrollToEnd(); return true;
    case kIdExportMusicXml: ExportMusicXmlFile(frame, doc); return true;
    case kIdFilePrint: PrintDocument(frame, doc); return true;
    case kIdFilePrintPdf: PrintDocumentToPdf(frame, doc); return true;
    case 32945: ExportMidi(frame, doc); return true;
    case 32964: {
      std::string error;
      if (!BrowseScore(doc, &frame, &error))
        frame.Ui().MessageBox("无法打开乐谱浏览器\n" + ChineseFileReason(error), "", UiHost::Icon::Warning);
      return true;
    }
    case 32942: {
      GridDialog dialog(view.Controller().snap, view.Controller().grid, &frame);
      if (dialog.exec() == QDialog::Accepted) view.SetGrid(dialog.Snap(), dialog.Grid());
      return true;
    }
    case 32947: {
      // One layout pass with auto-correction forced on, the user's setting kept.
      const bool was = doc.Score().AutoUpdate;
      doc.Score().AutoUpdate = true;
      doc.Score().UpdateDerived();
      doc.Score().AutoUpdate = was;
      doc.Journal().RecordSnapshot();
      doc.SetModified(true);
      emit doc.Changed();
      return true;
    }
    default: break;
  }
  // The tools; the dot toggles above never change the tool.
  if (id >= 34000 && id <= 37000 && row && row->Check == CheckRule::Tool) {
    view.SetTool(id);
    return true;
  }
  if (const ScoreCommand* command = FindScoreCommand(id); command && id != 0)
    return RunScoreTableCommand(frame, view, *command);
  return false;
}

bool RunDocumentCommand(CMainFrame& frame, CScoreEditDoc& doc, int id) {
  switch (id) {
    case kIdFileSave: frame.SaveDocument(doc, false); return true;
    case kIdFileSaveAs: frame.SaveDocument(doc, true); return true;
    case kIdFileClose: frame.CloseDocument(doc); return true;
    case kIdPlay: HandToPlayer(frame, doc); return true;
    default: break;
  }
  if (id >= kIdVoice1 && id < kIdVoice1 + 8) {
    doc.ChooseVoice(id - kIdVoice1);
    return true;
  }
  return false;
}

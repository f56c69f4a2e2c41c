// One open score in the editor: the score, its journal, its file path, the
// modified flag, the caret and the edit voice.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "editing/command_table.h"
#include "editing/journal.h"
#include "editor/view/tools/tool.h"
#include "model/score.h"

class UiHost;

class CScoreEditDoc : public QObject {
  Q_OBJECT
 public:
  // Messages of the document's operations (the journal's full warning) go
  // to `ui`; null keeps them silent.
  explicit CScoreEditDoc(UiHost* ui = nullptr);
  ~CScoreEditDoc() override;

  // A new document: default tables, one piano system, laid out, with the
  // journal's first snapshot.
  void NewDocument();
  // Opens a score file as a document; on failure the document is left as it
  // was and *error says why (in Chinese).
  bool OpenDocument(const std::string& path, std::string* error);
  // A new, unsaved document holding a MusicXML file's music; on failure the
  // document is left as it was and *error says why. *ignored lists what the
  // file held that the score cannot keep.
  bool ImportMusicXml(const std::string& path, std::string* error, std::string* ignored);
  // Saves to `path` without ever leaving a half-written file; on success the
  // path is the document's, the modified flag is cleared and a journal more
  // than half full starts again from the saved state.
  bool SaveDocument(const std::string& path, std::string* error);

  CScore& Score() { return *score_; }
  const CScore& Score() const { return *score_; }
  const std::string& Path() const { return path_; }
  // The file a recovered document belongs to (empty for one never saved).
  void SetPath(const std::string& path) { path_ = path; }
  CommandJournal& Journal() {
    EnsureFirstSnapshot();
    return *journal_;
  }
  // The file name, or 无标题N for a document never saved.
  QString Title() const;
  void SetUntitledNumber(int n) { untitled_ = n; }

  bool IsModified() const { return modified_; }
  void SetModified(bool modified);

  // Runs a score command with its recalculation and snapshot; marks the
  // document modified when the command changed the score.
  CommandOutcome RunCommand(const ScoreCommand& command, const CommandArgs& args);
  // Runs a tool's or key's edit with its recalculation and snapshot; marks
  // the document modified when the edit changed the score.
  int RunEdit(const Edit& edit);
  // The journal's first snapshot of a new or opened score is taken just
  // after a window has painted it, or before anything touches the journal.
  void EnsureFirstSnapshot();
  bool Undo();
  bool Redo();
  bool CanUndo() const;
  bool CanRedo() const;

  // The caret: where caret commands insert (x, and the top of the staff under it).
  int CaretX() const { return caretX_; }
  int CaretY() const { return caretY_; }
  void SetCaret(int x, int y) { caretX_ = x, caretY_ = y; }

  // The voice chosen on the voice buttons (0..7), and the one new notes get:
  // the chosen one while it is below the score's voice limit, else 0.
  int ChosenVoice() const { return chosenVoice_; }
  int EditVoice() const;
  void ChooseVoice(int voice);

  // The dot given to inserted notes: 单附点 and 双附点 exclude each other.
  bool DotSingle() const;
  bool DotDouble() const;
  void ToggleDot(bool doubleDot);

 signals:
  // The score, the selection or the state shown by the frame changed.
  void Changed();
  void ModifiedChanged(bool modified);

 protected:
  bool event(QEvent* event) override;

 private:
  void ReplaceScore(std::unique_ptr<CScore> score);
  void MakeJournal();
  // Packs the journal's newest snapshot once the views have repainted.
  void StoreSnapshotsLater();

  std::unique_ptr<CScore> score_;
  std::unique_ptr<CommandJournal> journal_;
  std::string path_;
  UiHost* ui_;
  bool modified_ = false;
  bool snapshotPending_ = false;
  bool storeQueued_ = false;
  // Nothing changed the score since the recalculation that ended the last
  // edit: the next edit on one stave may be followed on that stave alone.
  bool derivedFresh_ = false;
  int untitled_ = 1;
  int caretX_ = 0, caretY_ = 0;
  int chosenVoice_ = 0;
};

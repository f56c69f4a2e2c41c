#include "editor/app/score_document.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QTimer>

#include "editing/insert.h"
#include "exchange/musicxml/musicxml_import.h"
#include "editor/app/messages.h"
#include "model/notes.h"
#include "model/score_open.h"
#include "platform/qt_device_context.h"

namespace {
// Posted below the priority of a window's update request, so the views
// repaint before the journal packs the snapshot of the edit they show.
const QEvent::Type kStoreSnapshots = static_cast<QEvent::Type>(QEvent::registerEventType());
constexpr int kAfterRepaintPriority = Qt::LowEventPriority - 1;
}  // namespace

CScoreEditDoc::CScoreEditDoc(UiHost* ui) : score_(std::make_unique<CScore>()), ui_(ui) {
  MakeJournal();
  // Every edit, command and dialog that records a snapshot says so by Changed.
  connect(this, &CScoreEditDoc::Changed, this, &CScoreEditDoc::StoreSnapshotsLater);
  // Whatever changed, RunEdit alone knows the score was recalculated after it.
  connect(this, &CScoreEditDoc::Changed, this, [this] { derivedFresh_ = false; });
}
CScoreEditDoc::~CScoreEditDoc() = default;

void CScoreEditDoc::MakeJournal() {
  journal_ = std::make_unique<CommandJournal>(*score_, ui_);
  // The snapshot is taken with the edit; packing it waits for the repaint.
  journal_->SetStoreLater(true);
}

void CScoreEditDoc::StoreSnapshotsLater() {
  if (storeQueued_ || !journal_->HasUnstored()) return;
  storeQueued_ = true;
  QCoreApplication::postEvent(this, new QEvent(kStoreSnapshots), kAfterRepaintPriority);
}

bool CScoreEditDoc::event(QEvent* event) {
  if (event->type() != kStoreSnapshots) return QObject::event(event);
  storeQueued_ = false;
  journal_->StoreNow();
  return true;
}

void CScoreEditDoc::ReplaceScore(std::unique_ptr<CScore> score) {
  score_ = std::move(score);
  MakeJournal();
  // Storing the first snapshot deflates the whole score: on a large score
  // that costs more than the opening itself, so it waits until a view has
  // painted (or a moment, when none shows the score).
  snapshotPending_ = true;
  QTimer::singleShot(200, this, &CScoreEditDoc::EnsureFirstSnapshot);
  caretX_ = score_->LeftMargin;
  caretY_ = score_->TopMargin;
}

void CScoreEditDoc::NewDocument() {
  auto fresh = std::make_unique<CScore>();
  SetUpNewDocument(*fresh);
  ReplaceScore(std::move(fresh));
  path_.clear();
  SetModified(false);
  emit Changed();
}

bool CScoreEditDoc::OpenDocument(const std::string& path, std::string* error) {
  auto fresh = std::make_unique<CScore>();
  std::string why;
  if (!OpenScoreFile(*fresh, path, &why)) {
    if (error) *error = ChineseFileReason(why);
    return false;
  }
  LoadScorePictures(*fresh);
  ReplaceScore(std::move(fresh));
  path_ = path;
  SetModified(false);
  emit Changed();
  return true;
}

bool CScoreEditDoc::ImportMusicXml(const std::string& path, std::string* error, std::string* ignored) {
  auto fresh = std::make_unique<CScore>();
  MusicXmlImportReport report;
  std::string why;
  if (!ImportMusicXmlFile(path, *fresh, report, &why)) {
    if (error) *error = ChineseFileReason(why);
    return false;
  }
  ReplaceScore(std::move(fresh));
  path_.clear();
  SetModified(true);
  if (ignored) *ignored = report.IgnoredText();
  emit Changed();
  return true;
}

bool CScoreEditDoc::SaveDocument(const std::string& path, std::string* error) {
  std::string why;
  if (!score_->SaveToFile(path, &why)) {
    if (error) *error = ChineseFileReason(why);
    return false;
  }
  path_ = path;
  EnsureFirstSnapshot();
  journal_->AfterSave();
  SetModified(false);
  emit Changed();
  return true;
}

void CScoreEditDoc::EnsureFirstSnapshot() {
  if (!snapshotPending_) return;
  snapshotPending_ = false;
  journal_->RecordSnapshot();
  StoreSnapshotsLater();
}

QString CScoreEditDoc::Title() const {
  if (path_.empty()) return QString::fromUtf8("无标题%1").arg(untitled_);
  return QFileInfo(QString::fromStdString(path_)).fileName();
}

void CScoreEditDoc::SetModified(bool modified) {
  if (modified_ == modified) return;
  modified_ = modified;
  emit ModifiedChanged(modified);
}

CommandOutcome CScoreEditDoc::RunCommand(const ScoreCommand& command, const CommandArgs& args) {
  EnsureFirstSnapshot();
  const int before = journal_->Position();
  CommandOutcome out = RunScoreCommand(*score_, command, args, journal_.get());
  // Selection commands record snapshots too: only changes to the music mark
  // the file as modified.
  if (out.Result && journal_->Position() != before) SetModified(true);
  emit Changed();
  return out;
}

int CScoreEditDoc::RunEdit(const Edit& edit) {
  EnsureFirstSnapshot();
  bool recalculated = false;
  const int result = ::RunEdit(*score_, journal_.get(), edit, derivedFresh_, &recalculated);
  if (result) SetModified(true);
  emit Changed();
  derivedFresh_ = recalculated;
  return result;
}

bool CScoreEditDoc::CanUndo() const { return journal_->Position() > 1; }
bool CScoreEditDoc::CanRedo() const { return journal_->Position() < journal_->Count(); }

bool CScoreEditDoc::Undo() {
  EnsureFirstSnapshot();
  if (!CanUndo()) return false;
  journal_->Undo();
  SetModified(true);
  emit Changed();
  return true;
}

bool CScoreEditDoc::Redo() {
  EnsureFirstSnapshot();
  if (!CanRedo()) return false;
  journal_->Redo();
  SetModified(true);
  emit Changed();
  return true;
}

int CScoreEditDoc::EditVoice() const { return chosenVoice_ < 16 ? chosenVoice_ : 0; }

void CScoreEditDoc::ChooseVoice(int voice) {
  chosenVoice_ = voice;
  // New notes go to this voice, on the layer of the same number when there is one.
  score_->Voice = static_cast<int8_t>(EditVoice());
  score_->Layer = static_cast<int8_t>(static_cast<size_t>(EditVoice()) < score_->Layers.size() ? EditVoice() : 0);
  emit Changed();
}

bool CScoreEditDoc::DotSingle() const { return score_->InsertStyle & NTS_DOTTED; }
bool CScoreEditDoc::DotDouble() const { return score_->InsertStyle & NTS_DOUBLE_DOTTED; }

void CScoreEditDoc::ToggleDot(bool doubleDot) {
  const int32_t mine = doubleDot ? NTS_DOUBLE_DOTTED : NTS_DOTTED;
  const int32_t other = doubleDot ? NTS_DOTTED : NTS_DOUBLE_DOTTED;
  if (score_->InsertStyle & mine)
    score_->InsertStyle &= ~mine;
  else
    score_->InsertStyle = (score_->InsertStyle | mine) & ~other;
  emit Changed();
}

#include "editor/app/score_document.h"

#include "editing/insert.h"

#include <QFileInfo>

#include "model/score_open.h"
#include "platform/qt_device_context.h"

CScoreEditDoc::CScoreEditDoc(UiHost* ui)
    : score_(std::make_unique<CScore>()), journal_(std::make_unique<CommandJournal>(*score_, ui)), ui_(ui) {}
CScoreEditDoc::~CScoreEditDoc() = default;

void CScoreEditDoc::NewDocument() {
  score_->Clear();
  SetUpNewDocument(*score_);
  journal_ = std::make_unique<CommandJournal>(*score_, ui_);
  journal_->RecordSnapshot();
  path_.clear();
  emit Changed();
}

bool CScoreEditDoc::OpenDocument(const std::string& path, std::string* error) {
  auto fresh = std::make_unique<CScore>();
  if (!OpenScoreFile(*fresh, path, error)) return false;
  LoadScorePictures(*fresh);
  score_ = std::move(fresh);
  journal_ = std::make_unique<CommandJournal>(*score_, ui_);
  journal_->RecordSnapshot();
  path_ = path;
  emit Changed();
  return true;
}

QString CScoreEditDoc::Title() const {
  if (path_.empty()) return QString::fromUtf8("无标题");
  return QFileInfo(QString::fromStdString(path_)).fileName();
}

// One open score in the editor: the score, its file path and its views.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "editing/journal.h"
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
  // was and *error says why.
  bool OpenDocument(const std::string& path, std::string* error);

  CScore& Score() { return *score_; }
  const CScore& Score() const { return *score_; }
  const std::string& Path() const { return path_; }
  CommandJournal& Journal() { return *journal_; }
  // "Untitled" style title for the window: the file name or 无标题.
  QString Title() const;

 signals:
  void Changed();

 private:
  std::unique_ptr<CScore> score_;
  std::unique_ptr<CommandJournal> journal_;
  std::string path_;
  UiHost* ui_;
};

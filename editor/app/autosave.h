// Autosave and recovery: every few minutes each modified document is written
// to a recovery file in the per-user data folder; a clean close removes the
// files, so files left by a process that is gone mean it crashed, and the next
// start offers to restore them.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <string>

class CMainFrame;
class CScoreEditDoc;
class UiHost;

class Autosave : public QObject {
  Q_OBJECT
 public:
  Autosave(CMainFrame& frame, UiHost& ui);
  ~Autosave() override;

  // $XDG_DATA_HOME/quavix/recovery/ (~/.local/share/quavix/recovery/).
  static std::string Folder();
  // Minutes between saves from the settings (default 2); the environment's
  // QUAVIX_AUTOSAVE_SECONDS overrides it.
  static int IntervalMs();

  void Start();
  // Stops and removes this process's recovery files (a clean close).
  void Stop();
  // Writes every modified document; removes the files of the others.
  int SaveNow();
  // Asks about each recovery file left by a process that is gone: restored
  // documents open modified under their own file names; the files are removed
  // either way. The number restored.
  int OfferRecovery();

 private:
  std::string FileFor(CScoreEditDoc* doc);
  void Forget(CScoreEditDoc* doc);

  CMainFrame& frame_;
  UiHost& ui_;
  QTimer timer_;
  std::map<CScoreEditDoc*, std::string> files_;
  int serial_ = 0;
};

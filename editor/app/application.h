// The editor's application object: start-up in its fixed order, the
// application commands (new, open, exit, help, homepage, about, plug-ins),
// autosave and recovery, and shutdown.
#pragma once

#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QApplication;
class QSettings;
class AddinHost;
class CMainFrame;
class RecentFileList;
class Autosave;
class UiHost;

// Before the application object: Chinese dates where the user set none.
void PrepareChineseLocale();
// Qt's own dialogs and buttons in Chinese, and Chinese number and date forms.
void InstallChineseTranslations(QApplication& app);
// The desktop's icon theme for the file, edit and playback buttons; where the
// platform names none (a bare X server, offscreen), the system's icon folders
// and the Adwaita theme.
void SetUpIconTheme();

class QuavixApp {
 public:
  explicit QuavixApp(UiHost& ui);
  ~QuavixApp();
  // Runs the start-up steps; false when the main window cannot be made.
  bool Start(const QStringList& files, bool show = true);
  CMainFrame* MainFrame() const { return frame_.get(); }
  // The steps start-up and shutdown took, in order, for the tests.
  const std::vector<std::string>& Steps() const { return steps_; }
  // When each step ended, in steady-clock nanoseconds.
  const std::vector<int64_t>& StepTimes() const { return stepTimes_; }
  // How help and homepage addresses are opened; the desktop's browser by default.
  void SetUrlOpener(std::function<bool(const QUrl&)> opener) { openUrl_ = std::move(opener); }
  Autosave* AutoSaver() const { return autosave_.get(); }
  AddinHost* Addins() const { return addins_.get(); }

  // Application commands; false for ids that are not the application's.
  bool OnCommand(int id);
  void ShowAbout();
  void ShowHelp();
  void OpenHomepage();

 private:
  UiHost& ui_;
  std::unique_ptr<QSettings> settings_;
  std::unique_ptr<RecentFileList> recent_;
  std::unique_ptr<AddinHost> addins_;  // freed after the frame and its documents
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<Autosave> autosave_;
  void Step(const char* name);
  std::vector<std::string> steps_;
  std::vector<int64_t> stepTimes_;
  std::function<bool(const QUrl&)> openUrl_;
};

// Start-up of the editor: settings, the glyph table, the music font, the main
// window and the files named on the command line.
#pragma once

#include <QStringList>
#include <memory>

class AddinHost;
class CMainFrame;
class UiHost;

class QuavixApp {
 public:
  explicit QuavixApp(UiHost& ui);
  ~QuavixApp();
  // Runs the start-up steps; false when the main window cannot be made.
  bool Start(const QStringList& files, bool show = true);
  CMainFrame* MainFrame() const { return frame_.get(); }
  AddinHost* Addins() const { return addins_.get(); }

 private:
  UiHost& ui_;
  std::unique_ptr<AddinHost> addins_;  // freed after the frame and its documents
  std::unique_ptr<CMainFrame> frame_;
};

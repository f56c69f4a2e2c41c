// The plug-ins of the running editor: loaded once at start-up with their
// tool bars in the main window, their commands run on the active document's
// score, the tool bar layout saved before the main window goes and the
// libraries freed last, after every document.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "editor/app/addin_manager.h"
#include "editor/frame/kr_toolbar.h"

class CScore;
class QMainWindow;
class QWidget;
class UiHost;

class AddinHost {
 public:
  // `activeScore` gives the active document's score, or null.
  AddinHost(QMainWindow& frame, UiHost& ui, std::function<CScore*()> activeScore,
            CKRToolBar::CommandTextFn commandText = {});

  // Loads "addin/*.so" under `programDir`, builds their tool bars and then
  // restores the layout saved in `barStatePath`.
  void Start(const std::string& programDir, const std::string& barStatePath);
  // Runs plug-in command `id` on the active score (null without one); the
  // editor neither redraws nor journals. False when no command has the ID.
  bool Run(int id);
  // Writes the tool bar layout; call while the main window still exists.
  bool SaveLayout(const std::string& barStatePath);
  // The toolbar manager (33070), modal.
  void ShowToolbarManager(QWidget* parent);

  const AddinManager& Manager() const { return manager_; }
  const std::vector<CKRToolBar*>& ToolBars() const { return toolBars_; }

 private:
  QMainWindow& frame_;
  UiHost& ui_;
  std::function<CScore*()> activeScore_;
  CKRToolBar::CommandTextFn commandText_;
  AddinManager manager_;
  std::vector<CKRToolBar*> toolBars_;  // owned by the frame as its children
};

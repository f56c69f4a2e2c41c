#include "editor/app/addin_host.h"

#include <QMainWindow>

#include "editor/frame/toolbar_manager.h"

AddinHost::AddinHost(QMainWindow& frame, UiHost& ui, std::function<CScore*()> activeScore,
                     CKRToolBar::CommandTextFn commandText)
    : frame_(frame), ui_(ui), activeScore_(std::move(activeScore)), commandText_(std::move(commandText)) {}

void AddinHost::Start(const std::string& programDir, const std::string& barStatePath) {
  manager_.LoadAll(programDir, ui_);
  for (CKRToolBar* bar : CreateAddinToolBars(frame_, manager_, ui_, toolBars_, commandText_)) {
    QObject::connect(bar, &CKRToolBar::CommandChosen, &frame_, [this](int id) {
      if (AddinManager::IsAddinCommand(id)) Run(id);
    });
  }
  RestoreBarState(frame_, toolBars_, barStatePath);
}

bool AddinHost::Run(int id) { return manager_.Run(id, activeScore_ ? activeScore_() : nullptr); }

bool AddinHost::SaveLayout(const std::string& barStatePath) {
  return SaveBarState(frame_, toolBars_, barStatePath);
}

void AddinHost::ShowToolbarManager(QWidget* parent) {
  CToolbarManagerDialog dialog(toolBars_, parent);
  dialog.exec();
}

// Makes one QAction per row of the command table and builds the menu bar,
// the built-in toolbars and the context menu from them. The enable and check
// states are re-evaluated from a CommandContext whenever the frame refreshes.
#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <vector>

#include "editor/commands/command_table.h"

class QAction;
class QMainWindow;
class QMenu;
class QMenuBar;
class QToolBar;

class CommandBinder : public QObject {
  Q_OBJECT
 public:
  // `run` is called with the id of every triggered action.
  CommandBinder(QMainWindow& frame, std::function<void(int)> run);

  QAction* Action(int id) const;
  // Menus by their full path ("编辑(&E)/对齐(&G)").
  QMenu* Menu(const QString& path) const;
  void BuildMenuBar(QMenuBar& bar);
  // Creates the eight built-in bars and docks them in their rows.
  void BuildToolBars();
  const std::vector<QToolBar*>& ToolBars() const { return bars_; }
  // The first built-in bar with that control id (the View menu's toggles).
  QToolBar* BarByControlId(int id) const;
  QMenu* BuildContextMenu(QWidget* parent) const;
  // An action for an id that is not in the table (plug-in commands).
  QAction* AddExtraAction(int id, const QString& text);

  void Refresh(const CommandContext& context);

 private:
  QAction* Make(const EditorCommand& row);

  QMainWindow& frame_;
  std::function<void(int)> run_;
  std::map<int, QAction*> actions_;
  std::map<QString, QMenu*> menus_;
  std::vector<QToolBar*> bars_;
  std::map<QToolBar*, int> barIds_;
};

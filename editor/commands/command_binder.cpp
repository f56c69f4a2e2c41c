#include "editor/commands/command_binder.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStringList>
#include <QToolBar>
#include <QToolButton>

#include "editor/frame/toolbar_icons.h"

namespace {
QString Q(const char* s) { return QString::fromUtf8(s); }
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

CommandBinder::CommandBinder(QMainWindow& frame, std::function<void(int)> run)
    : QObject(&frame), frame_(frame), run_(std::move(run)) {
  for (const EditorCommand& row : EditorCommands()) Make(row);
}

QAction* CommandBinder::Make(const EditorCommand& row) {
  auto* a = new QAction(&frame_);
  a->setData(row.Id);
  a->setText(row.Text[0] ? Q(row.Text) : Q(ToolTipText(row)));
  a->setStatusTip(Q(StatusText(row)));
  a->setToolTip(Q(ToolTipText(row)));
  a->setIcon(CommandIcon(row.Id));
  // Menus show their own text; icons stay on the toolbars.
  a->setIconVisibleInMenu(false);
  if (row.Shortcut[0]) a->setShortcut(QKeySequence(Q(row.Shortcut)));
  if (row.Shortcut[0] && QString(row.Shortcut) == "Del") a->setShortcut(QKeySequence::Delete);
  a->setCheckable(row.Flags & kCheckable);
  const int id = row.Id;
  connect(a, &QAction::triggered, this, [this, id] { run_(id); });
  actions_[id] = a;
  return a;
}

QAction* CommandBinder::Action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

QMenu* CommandBinder::Menu(const QString& path) const {
  auto it = menus_.find(path);
  return it == menus_.end() ? nullptr : it->second;
}

void CommandBinder::BuildMenuBar(QMenuBar& bar) {
  for (const char* top : MenuBarOrder()) {
    QMenu* m = bar.addMenu(Q(top));
    m->setAccessibleName(Q(PlainMenuText(top)));
    menus_[Q(top)] = m;
  }
  for (const EditorCommand& row : EditorCommands()) {
    if (!row.Menu[0] || (row.Flags & kNoMenu)) continue;
    const QStringList parts = Q(row.Menu).split('/');
    QString path = parts.front();
    QMenu* menu = menus_.at(path);
    for (int i = 1; i < parts.size(); ++i) {
      path += "/" + parts[i];
      auto it = menus_.find(path);
      if (it == menus_.end()) {
        QMenu* sub = menu->addMenu(parts[i]);
        sub->setAccessibleName(Q(PlainMenuText(parts[i].toStdString())));
        it = menus_.emplace(path, sub).first;
      }
      menu = it->second;
    }
    if ((row.Flags & kSeparatorBefore) && !menu->isEmpty()) menu->addSeparator();
    menu->addAction(actions_.at(row.Id));
  }
}

void CommandBinder::BuildToolBars() {
  int row = 0;
  for (const BuiltinToolBar& def : BuiltinToolBars()) {
    if (row && def.Row != row) frame_.addToolBarBreak(Qt::TopToolBarArea);
    row = def.Row;
    auto* bar = new QToolBar(Q(def.Title), &frame_);
    bar->setObjectName(QString("toolbar-%1").arg(def.Resource));
    bar->setIconSize(QSize(24, 24));
    bar->setProperty("controlId", def.ControlId);
    if (!def.Title[0]) {
      // Untitled bars still need a name for the dock's menu and screen readers.
      const EditorCommand* toggle = FindEditorCommand(def.ControlId);
      bar->setAccessibleName(toggle ? Q(PlainMenuText(toggle->Text)) : QString());
    } else {
      bar->setAccessibleName(Q(def.Title));
    }
    for (int id : def.Buttons) {
      if (id == 0) {
        bar->addSeparator();
        continue;
      }
      QAction* a = Action(id);
      if (!a) continue;
      bar->addAction(a);
      if (QWidget* w = bar->widgetForAction(a)) w->setAccessibleName(a->toolTip());
    }
    frame_.addToolBar(Qt::TopToolBarArea, bar);
    bar->setVisible(def.Visible);
    bars_.push_back(bar);
    barIds_[bar] = def.ControlId;
  }
}

QToolBar* CommandBinder::BarByControlId(int id) const {
  for (QToolBar* bar : bars_)
    if (barIds_.at(bar) == id) return bar;
  return nullptr;
}

QMenu* CommandBinder::BuildContextMenu(QWidget* parent) const {
  auto* menu = new QMenu(parent);
  for (int id : ContextMenuCommands())
    if (QAction* a = Action(id)) menu->addAction(a);
  return menu;
}

QAction* CommandBinder::AddExtraAction(int id, const QString& text) {
  auto* a = new QAction(text, &frame_);
  a->setData(id);
  a->setToolTip(text);
  a->setStatusTip(text);
  connect(a, &QAction::triggered, this, [this, id] { run_(id); });
  actions_[id] = a;
  return a;
}

void CommandBinder::Refresh(const CommandContext& context) {
  for (auto& [id, action] : actions_) {
    const EditorCommand* row = FindEditorCommand(id);
    if (!row) continue;  // plug-in commands are always there
    action->setEnabled(IsEnabled(*row, context));
    if (action->isCheckable()) action->setChecked(IsChecked(*row, context));
  }
}

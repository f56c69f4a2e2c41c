#include "editor/frame/kr_toolbar.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QToolButton>
#include <algorithm>

#include "common/gbk.h"
#include "common/ui_host.h"
#include "editor/app/addin_manager.h"
#include "editor/frame/bar_state.h"
#include "editor/frame/toolbar_definition.h"

namespace {

// Alignment styles of a control bar.
constexpr uint32_t kAlignLeft = 0x1000;
constexpr uint32_t kAlignTop = 0x2000;
constexpr uint32_t kAlignRight = 0x4000;
constexpr uint32_t kAlignBottom = 0x8000;

// Button strips are painted on the light grey of a button face; that colour
// shows as the bar's own background.
constexpr QRgb kButtonFace = 0xFFC0C0C0;

QString FromGbk(const std::string& text) { return QString::fromStdString(qx::GbkToUtf8Lossy(text)); }

QMainWindow* ApplicationMainWindow() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* frame = qobject_cast<QMainWindow*>(w)) return frame;
  }
  return nullptr;
}

int DockBarIdOf(const QMainWindow& frame, QToolBar* bar) {
  if (bar->isFloating()) return kDockBarFloat;
  switch (frame.toolBarArea(bar)) {
    case Qt::LeftToolBarArea: return kDockBarLeft;
    case Qt::RightToolBarArea: return kDockBarRight;
    case Qt::BottomToolBarArea: return kDockBarBottom;
    default: return kDockBarTop;
  }
}

}  // namespace

CKRToolBar::CKRToolBar(QMainWindow* owner) : QToolBar(owner), owner_(owner) {
  setAllowedAreas(Qt::AllToolBarAreas);
  setToolButtonStyle(Qt::ToolButtonIconOnly);
  controlID_ = kDefaultToolbarID;
  connect(this, &QToolBar::actionTriggered, this, [this](QAction* action) {
    const int id = action->data().toInt();
    if (id != 0) emit CommandChosen(id);
  });
}

Qt::ToolBarArea CKRToolBar::PreferredArea() const {
  if (barStyle_ & kAlignTop) return Qt::TopToolBarArea;
  if (barStyle_ & kAlignBottom) return Qt::BottomToolBarArea;
  if (barStyle_ & kAlignLeft) return Qt::LeftToolBarArea;
  if (barStyle_ & kAlignRight) return Qt::RightToolBarArea;
  return Qt::TopToolBarArea;
}

int CKRToolBar::Load(const std::string& path, UiHost& ui, const CommandTextFn& commandText) {
  if (!owner_) {
    owner_ = ApplicationMainWindow();
    if (owner_ && !parent()) setParent(owner_);
  }
  ToolbarDefinition def;
  if (!ReadToolbarDefinition(path, def)) return -1;
  definitionPath_ = path;
  symbolPath_ = def.SymbolPath;
  controlID_ = def.WindowID;
  title_ = def.Title;
  setWindowTitle(FromGbk(def.Title));
  setObjectName(QStringLiteral("CKRToolBar-") + windowTitle());
  // Sizes come from a file: kept within what a tool bar can show.
  auto clamp = [](int v, int lo, int hi) { return std::clamp(v, lo, hi); };
  setContentsMargins(clamp(def.LeftBorder, 0, 64), clamp(def.TopBorder, 0, 64), clamp(def.RightBorder, 0, 64),
                     clamp(def.BottomBorder, 0, 64));
  barStyle_ = def.BarStyle;
  controlStyle_ = def.ControlStyle;

  const QString bitmapPath = QString::fromStdString(def.BitmapPath);
  QImage strip(bitmapPath);
  if (strip.isNull()) {
    ui.MessageBox("CKRToolBar::Load failed to load bitmap\n" + def.BitmapPath);
    return 0;
  }
  strip = strip.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < strip.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(strip.scanLine(y));
    for (int x = 0; x < strip.width(); ++x) {
      if (line[x] == kButtonFace) line[x] = 0;
    }
  }
  const int w = clamp(def.ImageWidth, 1, 256);
  const int h = clamp(def.ImageHeight, 1, 256);
  setIconSize(QSize(w, h));

  clear();
  buttons_.clear();
  for (const ToolbarButtonDef& b : def.Buttons) {
    Button button{b.ID, b.Style, nullptr};
    if (b.Style & kButtonSeparator) {
      addSeparator();
      buttons_.push_back(button);
      continue;
    }
    QString text = FromGbk(b.Text);
    if (text.isEmpty() && commandText) text = commandText(b.ID);
    QAction* action = addAction(text);
    // Images past the strip's end stay empty, as on a bitmap too short.
    if (b.Image >= 0 && static_cast<long long>(b.Image) * w < strip.width())
      action->setIcon(QIcon(QPixmap::fromImage(strip.copy(b.Image * w, 0, w, h))));
    action->setData(b.ID);
    action->setToolTip(text);
    action->setCheckable((b.Style & kButtonCheckBox) != 0);
    action->setChecked((b.Style & kButtonChecked) != 0);
    action->setEnabled((b.Style & kButtonDisabled) == 0);
    action->setVisible((b.Style & kButtonHidden) == 0);
    if (QWidget* widget = widgetForAction(action)) {
      widget->setAccessibleName(text);
      widget->setMinimumSize(clamp(def.ButtonWidth, 0, 256), clamp(def.ButtonHeight, 0, 256));
    }
    button.Action = action;
    buttons_.push_back(button);
  }
  return 1;
}

std::vector<int> CKRToolBar::ButtonIds() const {
  std::vector<int> ids;
  ids.reserve(buttons_.size());
  for (const Button& b : buttons_) ids.push_back(b.ID);
  return ids;
}

void CKRToolBar::SetButtonIds(const std::vector<int>& ids) {
  for (size_t i = 0; i < buttons_.size() && i < ids.size(); ++i) {
    buttons_[i].ID = ids[i];
    if (buttons_[i].Action) buttons_[i].Action->setData(ids[i]);
  }
}

QAction* CKRToolBar::ButtonAction(size_t index) const {
  return index < buttons_.size() ? buttons_[index].Action : nullptr;
}

CKRToolBar* FindToolBarByTitle(const std::vector<CKRToolBar*>& list, std::string_view title) {
  for (CKRToolBar* bar : list) {
    if (bar && SameTitle(bar->Title(), title)) return bar;
  }
  return nullptr;
}

std::vector<CKRToolBar*> CreateAddinToolBars(QMainWindow& frame, const AddinManager& addins, UiHost& ui,
                                             std::vector<CKRToolBar*>& list,
                                             const CKRToolBar::CommandTextFn& commandText) {
  std::vector<CKRToolBar*> created;
  for (size_t module = 0; module < addins.Modules().size(); ++module) {
    std::string rci;
    if (!addins.ToolbarFile(module, ui, rci)) continue;
    ToolbarDefinition def;
    if (!ReadToolbarDefinition(rci, def)) continue;
    CKRToolBar* bar = FindToolBarByTitle(list, def.Title);
    if (!bar) {
      bar = new CKRToolBar(&frame);
      list.push_back(bar);
      created.push_back(bar);
      bar->Load(rci, ui, commandText);
      frame.addToolBar(bar->PreferredArea(), bar);
      bar->setVisible((bar->ControlStyle() & kStyleVisible) != 0);
    }
    std::vector<int> ids = bar->ButtonIds();
    AddinManager::BindCommandIds(ids, addins.CommandIdsOf(module));
    bar->SetButtonIds(ids);
  }
  return created;
}

bool SaveBarState(QMainWindow& frame, const std::vector<CKRToolBar*>& list, const std::string& path) {
  std::vector<BarStateEntry> entries;
  for (CKRToolBar* bar : list) {
    if (!bar) continue;
    const QPoint origin = bar->mapToGlobal(QPoint(0, 0));
    BarStateEntry e;
    e.Name = bar->Title();
    e.Visible = bar->isHidden() ? 0 : kBarVisible;
    e.DockBarID = DockBarIdOf(frame, bar);
    e.Float = bar->isFloating() ? 1 : 0;
    e.Left = origin.x() + 2;
    e.Top = origin.y();
    e.Right = origin.x() + bar->width();
    e.Bottom = origin.y() + bar->height();
    entries.push_back(std::move(e));
  }
  return WriteBarState(path, std::move(entries));
}

void RestoreBarState(QMainWindow& frame, const std::vector<CKRToolBar*>& list, const std::string& path) {
  const std::vector<BarPlacement> steps = PlanBarRestore(ReadBarState(path), [&](std::string_view title) {
    CKRToolBar* bar = FindToolBarByTitle(list, title);
    if (!bar) return -1;
    return static_cast<int>(std::find(list.begin(), list.end(), bar) - list.begin());
  });
  for (const BarPlacement& step : steps) {
    CKRToolBar* bar = list[step.Bar];
    switch (step.How) {
      case BarPlacement::Dock::Hidden:
        bar->hide();
        continue;
      case BarPlacement::Dock::RightOfPrevious:
        // Added last, so it joins the end of the row the previous bar opened.
        frame.addToolBar(Qt::TopToolBarArea, bar);
        break;
      case BarPlacement::Dock::Float:
      case BarPlacement::Dock::NewRow:
        frame.addToolBarBreak(Qt::TopToolBarArea);
        frame.addToolBar(Qt::TopToolBarArea, bar);
        break;
    }
    bar->show();
  }
}

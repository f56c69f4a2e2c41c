#include "editor/frame/main_frame.h"

#include <algorithm>

#include <QClipboard>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "common/ui_host.h"
#include "editor/app/recent_files.h"
#include "editor/app/score_document.h"
#include "editor/commands/command_binder.h"
#include "editor/commands/command_router.h"
#include "editor/frame/playback_commands.h"
#include "editor/view/clipboard_bridge.h"
#include "editor/view/print_job.h"
#include "editor/view/score_view.h"
#include "model/score.h"
#include "platform/keyboard_locks.h"

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
std::string S(const QString& s) { return s.toStdString(); }
const char* kScoreFilter = "Brenvo乐谱文件(*.q5s)|*.q5s|所有文件 (*.*)|*.*||";
}  // namespace

CMainFrame::CMainFrame(UiHost& ui) : ui_(ui), area_(new QMdiArea(this)) {
  playback_ = std::make_unique<PlaybackCommands>(*this);
  setWindowTitle(QString::fromUtf8("五线谱编辑器"));
  setObjectName("CMainFrame");
  area_->setViewMode(QMdiArea::SubWindowView);
  area_->setActivationOrder(QMdiArea::ActivationHistoryOrder);
  setCentralWidget(area_);
  setDockNestingEnabled(true);
  binder_ = new CommandBinder(*this, [this](int id) { OnCommand(id); });
  binder_->BuildMenuBar(*menuBar());
  binder_->BuildToolBars();
  BuildStatusBar();

  // The File menu lists the recent files above 退出; the Window menu the open documents.
  QMenu* file = binder_->Menu(QString::fromUtf8("文件(&F)"));
  recentSeparator_ = file->insertSeparator(binder_->Action(57665));
  for (int i = 0; i < RecentFileList::kSize; ++i) {
    QAction* a = binder_->AddExtraAction(57616 + i, QString());
    file->insertAction(recentSeparator_, a);
    recentActions_.push_back(a);
  }
  QMenu* window = binder_->Menu(QString::fromUtf8("窗口(&W)"));
  windowSeparator_ = window->addSeparator();
  connect(window, &QMenu::aboutToShow, this, &CMainFrame::RebuildWindowMenu);
  for (QMenu* m : menuBar()->findChildren<QMenu*>())
    connect(m, &QMenu::aboutToShow, this, &CMainFrame::RefreshCommands);
  for (QToolBar* bar : binder_->ToolBars())
    connect(bar, &QToolBar::visibilityChanged, this, &CMainFrame::RefreshCommands);
  connect(area_, &QMdiArea::subWindowActivated, this, [this] {
    UpdateTitles();
    RefreshCommands();
  });
  // Asking the clipboard what it holds may cross to the display server: it is
  // asked when its content changes, not at every refresh of the commands.
  clipboardHasScore_ = clipboard_bridge::HasScoreData();
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, [this] {
    clipboardHasScore_ = clipboard_bridge::HasScoreData();
    RefreshCommands();
  });
  RebuildRecentMenu();
  RefreshCommands();
}

CMainFrame::~CMainFrame() {
  playback_.reset();  // no play or recording outlives the documents
  // Views refer to their documents: close them first, without questions.
  closingAll_ = true;
  for (QMdiSubWindow* child : area_->subWindowList()) delete child;
  delete area_;
}

void CMainFrame::BuildStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setObjectName("statusbar-59393");
  bar->setAccessibleName(QString::fromUtf8("状态栏"));
  // The message pane, then the caps-lock, num-lock and scroll-lock indicators.
  for (const char* text : {"大写", "数字", "滚动"}) {
    auto* label = new QLabel(QString::fromUtf8(text), bar);
    label->setAccessibleName(QString::fromUtf8(text));
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setEnabled(false);
    bar->addPermanentWidget(label);
    indicators_.push_back(label);
  }
  // The lights follow the keyboard; where the display cannot tell they stay grey.
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this] {
    const KeyboardLocks locks = ReadKeyboardLocks();
    if (!locks.Known) return;
    indicators_[0]->setEnabled(locks.Caps);
    indicators_[1]->setEnabled(locks.Num);
    indicators_[2]->setEnabled(locks.Scroll);
  });
  poll->start(250);
  bar->showMessage(QString::fromUtf8("就绪"));
  connect(bar, &QStatusBar::messageChanged, this, [bar](const QString& m) {
    if (m.isEmpty()) bar->showMessage(QString::fromUtf8("就绪"));
  });
}

void CMainFrame::SetRecentFiles(RecentFileList* recent) {
  recent_ = recent;
  RebuildRecentMenu();
}

void CMainFrame::RebuildRecentMenu() {
  const QStringList files = recent_ ? recent_->Files() : QStringList();
  for (int i = 0; i < int(recentActions_.size()); ++i) {
    QAction* a = recentActions_[i];
    a->setVisible(i < files.size());
    if (i < files.size()) {
      a->setText(QString("&%1 %2").arg(i + 1).arg(QFileInfo(files[i]).fileName()));
      a->setStatusTip(files[i]);
      a->setToolTip(files[i]);
    }
  }
  recentSeparator_->setVisible(!files.isEmpty());
}

void CMainFrame::RebuildWindowMenu() {
  QMenu* window = binder_->Menu(QString::fromUtf8("窗口(&W)"));
  for (QAction* a : windowActions_) {
    window->removeAction(a);
    a->deleteLater();
  }
  windowActions_.clear();
  const auto children = area_->subWindowList();
  windowSeparator_->setVisible(!children.isEmpty());
  int n = 0;
  for (QMdiSubWindow* child : children) {
    auto* view = qobject_cast<CScoreEditView*>(child->widget());
    if (!view) continue;
    QString title = WindowTitle(*view);
    auto* a = window->addAction(QString("&%1 %2").arg(++n).arg(title));
    a->setCheckable(true);
    a->setChecked(child == area_->activeSubWindow());
    connect(a, &QAction::triggered, this, [this, child] { area_->setActiveSubWindow(child); });
    windowActions_.push_back(a);
  }
}

CScoreEditView* CMainFrame::AddDocument(std::unique_ptr<CScoreEditDoc> doc) {
  if (doc->Path().empty()) doc->SetUntitledNumber(++untitledCount_);
  CScoreEditDoc* raw = doc.get();
  docs_.push_back(std::move(doc));
  connect(raw, &CScoreEditDoc::Changed, this, &CMainFrame::RefreshCommands);
  connect(raw, &CScoreEditDoc::ModifiedChanged, this, &CMainFrame::UpdateTitles);
  return AddView(*raw);
}

QString CMainFrame::WindowTitle(CScoreEditView& view) const {
  // Several windows on one document: name:1, name:2 ...
  const auto views = ViewsOf(view.Document());
  QString title = view.Document().Title();
  if (views.size() > 1) title += QString(":%1").arg(std::find(views.begin(), views.end(), &view) - views.begin() + 1);
  return title;
}

CScoreEditView* CMainFrame::NewWindow() {
  CScoreEditView* active = ActiveView();
  return active ? AddView(active->Document()) : nullptr;
}

std::vector<CScoreEditView*> CMainFrame::ViewsOf(const CScoreEditDoc& doc) const {
  std::vector<CScoreEditView*> views;
  for (QMdiSubWindow* child : area_->subWindowList())
    if (auto* view = qobject_cast<CScoreEditView*>(child->widget()); view && &view->Document() == &doc)
      views.push_back(view);
  return views;
}

CScoreEditView* CMainFrame::AddView(CScoreEditDoc& doc) {
  auto* view = new CScoreEditView(doc);
  view->SetContextMenu(binder_->BuildContextMenu(view));
  QMdiSubWindow* child = area_->addSubWindow(view);
  child->setAttribute(Qt::WA_DeleteOnClose);
  child->installEventFilter(this);
  CScoreEditDoc* raw = &doc;
  connect(child, &QObject::destroyed, this, [this, raw] {
    // The area still lists the dying window until its destruction is over:
    // the document goes with its last window once it is gone.
    QMetaObject::invokeMethod(
        this,
        [this, raw] {
          if (ViewsOf(*raw).empty()) std::erase_if(docs_, [raw](const auto& d) { return d.get() == raw; });
          UpdateTitles();
          RefreshCommands();
          emit DocumentsChanged();
        },
        Qt::QueuedConnection);
  });
  connect(view, &CScoreEditView::StateChanged, this, &CMainFrame::RefreshCommands);
  child->showMaximized();
  area_->setActiveSubWindow(child);
  UpdateTitles();
  RefreshCommands();
  emit DocumentsChanged();
  return view;
}

CScoreEditDoc* CMainFrame::NewDocument() {
  auto doc = std::make_unique<CScoreEditDoc>(&ui_);
  doc->NewDocument();
  return &AddDocument(std::move(doc))->Document();
}

bool CMainFrame::OpenDocumentFile(const std::string& path) {
  // A file that is already open is brought to the front, as a desktop program does.
  const QString full = QFileInfo(Q(path)).absoluteFilePath();
  for (QMdiSubWindow* child : area_->subWindowList()) {
    auto* view = qobject_cast<CScoreEditView*>(child->widget());
    if (view && !view->Document().Path().empty() &&
        QFileInfo(Q(view->Document().Path())).absoluteFilePath() == full) {
      area_->setActiveSubWindow(child);
      return true;
    }
  }
  auto doc = std::make_unique<CScoreEditDoc>(&ui_);
  std::string error;
  if (!doc->OpenDocument(path, &error)) {
    ui_.MessageBox("无法打开文件 " + path + "\n" + error, "", UiHost::Icon::Warning);
    return false;
  }
  AddDocument(std::move(doc));
  if (recent_) {
    recent_->Add(Q(path));
    RebuildRecentMenu();
  }
  return true;
}

CScoreEditView* CMainFrame::ActiveView() const {
  QMdiSubWindow* child = area_->activeSubWindow();
  if (!child && !area_->subWindowList().isEmpty()) child = area_->subWindowList().last();
  return child ? qobject_cast<CScoreEditView*>(child->widget()) : nullptr;
}

CScoreEditDoc* CMainFrame::ActiveDocument() const {
  CScoreEditView* view = ActiveView();
  return view ? &view->Document() : nullptr;
}

void CMainFrame::UpdateTitles() {
  for (QMdiSubWindow* child : area_->subWindowList()) {
    auto* view = qobject_cast<CScoreEditView*>(child->widget());
    if (!view) continue;
    child->setWindowTitle(WindowTitle(*view) + "[*]");
    child->setWindowModified(view->Document().IsModified());
  }
  CScoreEditDoc* doc = ActiveDocument();
  // The frame's title names the active document and shows its modified mark.
  setWindowTitle(doc ? QString::fromUtf8("%1[*] - Brenvo作曲家").arg(doc->Title()) : QString::fromUtf8("五线谱编辑器"));
  setWindowModified(doc && doc->IsModified());
}

CommandContext CMainFrame::Context() const {
  CommandContext c;
  CScoreEditView* view = ActiveView();
  if (view) {
    CScoreEditDoc& doc = view->Document();
    c.HasDocument = true;
    c.HasSelection = doc.Score().SelectedCount > 0;
    c.CanUndo = doc.CanUndo();
    c.CanRedo = doc.CanRedo();
    c.Tool = view->Tool();
    c.SelectionMode = view->SelectionMode();
    c.EditVoice = doc.ChosenVoice();
    c.DotSingle = doc.DotSingle();
    c.DotDouble = doc.DotDouble();
    c.ClipboardHasData = clipboardHasScore_;
  }
  c.Playing = playback_ && playback_->IsPlaying();
  c.BarVisible = [this](int id) {
    if (id == 59393) return statusBar()->isVisible();
    QToolBar* bar = binder_->BarByControlId(id);
    return bar && bar->isVisible();
  };
  return c;
}

void CMainFrame::RefreshCommands() { binder_->Refresh(Context()); }

QToolBar* CMainFrame::BarByControlId(int id) const { return binder_->BarByControlId(id); }

void CMainFrame::OnCommand(int id) {
  // The framework's routing: the active view, its document, the frame, the application.
  CScoreEditView* view = ActiveView();
  if (view && RunViewCommand(*this, *view, id)) return RefreshCommands();
  if (CScoreEditDoc* doc = ActiveDocument(); doc && RunDocumentCommand(*this, *doc, id)) return RefreshCommands();
  if (RunFrameCommand(id)) return RefreshCommands();
  if (appHandler_ && appHandler_(id)) return RefreshCommands();
}

bool CMainFrame::RunFrameCommand(int id) {
  if (id == kIdFilePrintSetup) {
    RunPrintSetup(this);
    return true;
  }
  if (playback_->Run(id)) return true;
  if (id == 59393) {
    statusBar()->setVisible(!statusBar()->isVisible());
    return true;
  }
  if (id == 59392 || (id >= 32930 && id <= 32940)) {
    if (QToolBar* bar = binder_->BarByControlId(id)) bar->setVisible(!bar->isVisible());
    return true;
  }
  if (id >= 57616 && id < 57616 + RecentFileList::kSize) {
    const int i = id - 57616;
    if (!recent_ || i >= recent_->Files().size()) return true;
    const QString path = recent_->Files()[i];
    if (!QFileInfo::exists(path)) {
      ui_.MessageBox("无法打开文件 " + S(path) + "\n文件不存在，已从最近文件列表中删除。", "", UiHost::Icon::Warning);
      recent_->Remove(path);
      RebuildRecentMenu();
      return true;
    }
    OpenDocumentFile(S(path));
    return true;
  }
  switch (id) {
    case kIdWindowNew: NewWindow(); return true;
    case 57650: area_->cascadeSubWindows(); return true;
    case 57651: area_->tileSubWindows(); return true;
    case 57649: return true;  // minimised children keep their places in the area
    default: return false;
  }
}

bool CMainFrame::SaveDocument(CScoreEditDoc& doc, bool askName) {
  std::string path = doc.Path();
  if (askName || path.empty()) {
    std::string suggested = path.empty() ? S(doc.Title()) + ".q5s" : path;
    auto chosen = ui_.SaveFileName(kScoreFilter, ".q5s", suggested);
    if (!chosen) return false;
    path = *chosen;
  }
  std::string error;
  if (!doc.SaveDocument(path, &error)) {
    ui_.MessageBox("无法保存文件 " + path + "\n" + error, "", UiHost::Icon::Warning);
    return false;
  }
  if (recent_) {
    recent_->Add(Q(path));
    RebuildRecentMenu();
  }
  UpdateTitles();
  return true;
}

bool CMainFrame::QueryCloseDocument(CScoreEditDoc& doc) {
  if (!doc.IsModified()) return true;
  switch (ui_.Ask("是否保存对“" + S(doc.Title()) + "”的修改？", "", true, "保存(&S)", "不保存(&N)")) {
    case UiHost::Answer::Yes: return SaveDocument(doc, false);
    case UiHost::Answer::No: return true;
    case UiHost::Answer::Cancel: return false;
  }
  return false;
}

bool CMainFrame::CloseDocument(CScoreEditDoc& doc) {
  if (!QueryCloseDocument(doc)) return false;
  RunFrameCommand(kIdStop);
  closingAll_ = true;  // asked once for all its windows
  for (QMdiSubWindow* child : area_->subWindowList())
    if (auto* view = qobject_cast<CScoreEditView*>(child->widget()); view && &view->Document() == &doc) child->close();
  closingAll_ = false;
  return true;
}

bool CMainFrame::CloseAllDocuments() {
  for (const auto& doc : docs_)
    if (!QueryCloseDocument(*doc)) return false;
  closingAll_ = true;
  for (QMdiSubWindow* child : area_->subWindowList()) child->close();
  closingAll_ = false;
  return true;
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Close && !closingAll_) {
    auto* child = qobject_cast<QMdiSubWindow*>(watched);
    auto* view = child ? qobject_cast<CScoreEditView*>(child->widget()) : nullptr;
    if (view && ViewsOf(view->Document()).size() == 1 && !QueryCloseDocument(view->Document())) {
      event->ignore();
      return true;
    }
    // A closing view stops any playback or recording.
    if (view) RunFrameCommand(kIdStop);
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (!CloseAllDocuments()) {
    event->ignore();
    return;
  }
  event->accept();
}

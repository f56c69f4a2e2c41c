#include "editor/frame/main_frame.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

#include "common/ui_host.h"
#include "editor/app/score_document.h"
#include "editor/view/score_view.h"

CMainFrame::CMainFrame(UiHost& ui) : ui_(ui), area_(new QMdiArea(this)) {
  setWindowTitle(QString::fromUtf8("Brenvo作曲家"));
  area_->setViewMode(QMdiArea::SubWindowView);
  setCentralWidget(area_);
  BuildMenus();
  statusBar()->showMessage(QString::fromUtf8("就绪"));
}

CMainFrame::~CMainFrame() {
  // Views refer to their documents: close them first.
  area_->closeAllSubWindows();
  delete area_;
}

void CMainFrame::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QString::fromUtf8("文件(&F)"));
  file->addAction(QString::fromUtf8("新建(&N)"), this, &CMainFrame::NewDocument);
  file->addAction(QString::fromUtf8("打开(&O)..."), this, [this] {
    if (auto name = ui_.OpenFileName("Brenvo乐谱文件(*.q5s)|*.q5s|所有文件 (*.*)|*.*||", ".q5s"))
      OpenDocumentFile(*name);
  });
  file->addSeparator();
  file->addAction(QString::fromUtf8("退出(&X)"), this, &QWidget::close);
}

CScoreEditView* CMainFrame::AddDocument(std::unique_ptr<CScoreEditDoc> doc) {
  auto* view = new CScoreEditView(*doc);
  QMdiSubWindow* child = area_->addSubWindow(view);
  child->setWindowTitle(doc->Title());
  child->setAttribute(Qt::WA_DeleteOnClose);
  CScoreEditDoc* raw = doc.get();
  docs_.push_back(std::move(doc));
  connect(child, &QObject::destroyed, this, [this, raw] {
    std::erase_if(docs_, [raw](const auto& d) { return d.get() == raw; });
  });
  child->showMaximized();
  return view;
}

void CMainFrame::NewDocument() {
  auto doc = std::make_unique<CScoreEditDoc>(&ui_);
  doc->NewDocument();
  AddDocument(std::move(doc));
}

bool CMainFrame::OpenDocumentFile(const std::string& path) {
  auto doc = std::make_unique<CScoreEditDoc>(&ui_);
  std::string error;
  if (!doc->OpenDocument(path, &error)) {
    ui_.MessageBox("无法打开文件 " + path + "\n" + error, "", UiHost::Icon::Warning);
    return false;
  }
  AddDocument(std::move(doc));
  return true;
}

CScoreEditView* CMainFrame::ActiveView() const {
  QMdiSubWindow* child = area_->activeSubWindow();
  if (!child && !area_->subWindowList().isEmpty()) child = area_->subWindowList().last();
  return child ? qobject_cast<CScoreEditView*>(child->widget()) : nullptr;
}

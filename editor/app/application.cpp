#include "editor/app/application.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QSettings>

#include "common/paths.h"
#include "common/ui_host.h"
#include "editor/app/addin_host.h"
#include "editor/app/score_document.h"
#include "editor/frame/bar_state.h"
#include "editor/frame/main_frame.h"
#include "editor/view/score_view.h"
#include "notation/glyph_table.h"
#include "platform/app_fonts.h"

QuavixApp::QuavixApp(UiHost& ui) : ui_(ui) {}
QuavixApp::~QuavixApp() {
  if (addins_ && frame_) addins_->SaveLayout(BarStatePath());
}

bool QuavixApp::Start(const QStringList& files, bool show) {
  // 1. The settings key; the recent-file list is four entries long.
  QCoreApplication::setOrganizationName("Quavix");
  QCoreApplication::setApplicationName("Score Edit");
  // 2. The glyph table.
  if (!LoadCharList() || CharList().Empty()) ui_.MessageBox("文件 res\\charlist.dat 不存在.");
  RegisterMusicFont();
  // 3-4. The main window.
  frame_ = std::make_unique<CMainFrame>(ui_);
  // 5. Files on the command line, or a new document.
  if (files.isEmpty()) {
    frame_->NewDocument();
  } else {
    for (const QString& f : files) frame_->OpenDocumentFile(f.toStdString());
  }
  // 6. Shown maximised.
  if (show) frame_->showMaximized();
  // 7-8. The plug-ins and their tool bars, then the saved tool bar layout.
  addins_ = std::make_unique<AddinHost>(*frame_, ui_, [this]() -> CScore* {
    CScoreEditView* view = frame_->ActiveView();
    return view ? &view->Document().Score() : nullptr;
  });
  addins_->Start(qx::ProgramDirectory(), BarStatePath());
  return true;
}

#include "editor/dialogs/score_browser.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include "common/paths.h"
#include "editor/app/score_document.h"
#include "editor/view/form_view.h"
#include "model/score.h"

ScoreBrowser::ScoreBrowser(QWidget* parent) : QDialog(parent), view_(new CKRScoreView(this)) {
  setObjectName("score-browser");
  setSizeGripEnabled(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(view_);
  view_->setAccessibleName(QString::fromUtf8("乐谱浏览"));
}

bool ScoreBrowser::Open(const std::string& path, std::string* error) {
  const bool ok = view_->LoadForm(path, error);
  // The form's size plus the frame, within the screen's free area.
  QSize size = view_->FormSize() + QSize(4, 4);
  if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen())
    size = size.boundedTo(screen->availableGeometry().size() * 0.9);
  resize(size.expandedTo(QSize(320, 240)));
  return ok;
}

ScoreBrowser* BrowseScore(CScoreEditDoc& doc, QWidget* parent, std::string* error) {
  const std::string path = qx::TempFilePath("~~score.stv");
  if (!doc.Score().SaveToFile(path, error)) return nullptr;
  auto* browser = new ScoreBrowser(parent);
  browser->setAttribute(Qt::WA_DeleteOnClose);
  browser->setWindowTitle(QString::fromUtf8("乐谱浏览 - ") + doc.Title());
  if (!browser->Open(path, error)) {
    delete browser;
    return nullptr;
  }
  browser->show();
  return browser;
}

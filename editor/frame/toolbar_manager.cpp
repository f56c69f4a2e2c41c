#include "editor/frame/toolbar_manager.h"

#include <QHeaderView>
#include <QResizeEvent>
#include <QTableWidget>
#include <QVBoxLayout>

#include "editor/frame/kr_toolbar.h"

namespace {

std::vector<ToolbarManagerItem> ItemsOf(const std::vector<CKRToolBar*>& bars) {
  std::vector<ToolbarManagerItem> items;
  for (CKRToolBar* bar : bars) {
    if (!bar) continue;
    items.push_back({bar->windowTitle().toStdString(), [bar] { return !bar->isHidden(); },
                     [bar](bool visible) { bar->setVisible(visible); }});
  }
  return items;
}

}  // namespace

CToolbarManagerDialog::CToolbarManagerDialog(const std::vector<CKRToolBar*>& bars, QWidget* parent)
    : QDialog(parent), model_(ItemsOf(bars)), grid_(new QTableWidget(this)) {
  setWindowTitle(QString::fromUtf8("管理工具栏"));
  grid_->setColumnCount(2);
  grid_->setHorizontalHeaderLabels({QString(), QString::fromUtf8("工具栏名称")});
  grid_->verticalHeader()->hide();
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->horizontalHeader()->setStretchLastSection(false);
  grid_->setAccessibleName(windowTitle());
  grid_->setRowCount(model_.RowCount());
  for (int row = 0; row < model_.RowCount(); ++row) FillRow(row);
  grid_->setColumnWidth(0, ToolbarManagerModel::kMarkColumnWidth);
  grid_->installEventFilter(this);
  connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int) { ToggleRow(row); });

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(grid_);
  resize(260, 220);
}

void CToolbarManagerDialog::FillRow(int row) {
  auto* mark = new QTableWidgetItem(QString::fromStdString(model_.Mark(row)));
  mark->setTextAlignment(Qt::AlignCenter);
  grid_->setItem(row, 0, mark);
  grid_->setItem(row, 1, new QTableWidgetItem(QString::fromStdString(model_.Title(row))));
}

void CToolbarManagerDialog::ToggleRow(int row) {
  if (!model_.Toggle(row)) return;
  grid_->item(row, 0)->setText(QString::fromStdString(model_.Mark(row)));
}

bool CToolbarManagerDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == grid_ && event->type() == QEvent::Resize) {
    const int width = static_cast<QResizeEvent*>(event)->size().width() - 2 * grid_->frameWidth();
    grid_->setColumnWidth(1, ToolbarManagerModel::TitleColumnWidth(width));
  }
  return QDialog::eventFilter(watched, event);
}

// The toolbar manager dialog (33070), "管理工具栏": a grid of the plug-in
// tool bars with a shown/hidden mark; clicking a row shows or hides the bar.
#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "editor/frame/toolbar_manager_model.h"

class CKRToolBar;
class QTableWidget;

class CToolbarManagerDialog : public QDialog {
  Q_OBJECT
 public:
  CToolbarManagerDialog(const std::vector<CKRToolBar*>& bars, QWidget* parent = nullptr);

  QTableWidget* Grid() const { return grid_; }
  // What a click on a row does.
  void ToggleRow(int row);

 protected:
  // The title column follows the grid's width.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillRow(int row);

  ToolbarManagerModel model_;
  QTableWidget* grid_;
};

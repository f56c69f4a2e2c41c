// 网格设置: snapping clicks to the 4-unit grid, and the grid the view draws.
#pragma once

#include <QDialog>

#include "editor/view/tools/view_controller.h"

class QCheckBox;
class QSpinBox;

class GridDialog : public QDialog {
  Q_OBJECT
 public:
  GridDialog(bool snap, const GridDisplay& grid, QWidget* parent = nullptr);
  bool Snap() const;
  GridDisplay Grid() const;

 private:
  QCheckBox* snap_;
  QCheckBox* show_;
  QSpinBox* stepX_;
  QSpinBox* stepY_;
};

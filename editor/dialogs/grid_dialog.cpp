#include "editor/dialogs/grid_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

GridDialog::GridDialog(bool snap, const GridDisplay& grid, QWidget* parent) : QDialog(parent) {
  setObjectName("dialog-grid");
  setWindowTitle(QString::fromUtf8("网格设置"));
  auto* layout = new QVBoxLayout(this);
  snap_ = new QCheckBox(QString::fromUtf8("使用网格调整坐标"), this);
  snap_->setChecked(snap);
  show_ = new QCheckBox(QString::fromUtf8("显示网格"), this);
  show_->setChecked(grid.Show);
  layout->addWidget(snap_);
  layout->addWidget(show_);
  auto* sizes = new QFormLayout;
  const auto spin = [this](int value) {
    auto* box = new QSpinBox(this);
    box->setRange(GridDisplay::kMinStep, GridDisplay::kMaxStep);
    box->setSingleStep(4);
    box->setValue(std::clamp(value, GridDisplay::kMinStep, GridDisplay::kMaxStep));
    return box;
  };
  stepX_ = spin(grid.StepX);
  stepY_ = spin(grid.StepY);
  sizes->addRow(QString::fromUtf8("水平间距"), stepX_);
  sizes->addRow(QString::fromUtf8("垂直间距"), stepY_);
  layout->addLayout(sizes);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QString::fromUtf8("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  // Screen readers and test robots find every control by its visible text.
  for (QAbstractButton* b : findChildren<QAbstractButton*>()) b->setAccessibleName(b->text());
  stepX_->setAccessibleName(QString::fromUtf8("水平间距"));
  stepY_->setAccessibleName(QString::fromUtf8("垂直间距"));
  for (QLabel* label : findChildren<QLabel*>()) label->setAccessibleName(label->text());
}

bool GridDialog::Snap() const { return snap_->isChecked(); }

GridDisplay GridDialog::Grid() const { return {show_->isChecked(), stepX_->value(), stepY_->value()}; }

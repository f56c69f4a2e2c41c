#include "editor/dialogs/about_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

AboutDialog::AboutDialog(const QString& productName, QWidget* parent) : QDialog(parent) {
  setObjectName("dialog-100");
  setWindowTitle(QString::fromUtf8("关于Brenvo作曲家"));
  auto* layout = new QVBoxLayout(this);
  auto* name = new QLabel(productName, this);
  name->setObjectName("control-1028");
  QFont big = name->font();
  big.setPointSizeF(big.pointSizeF() * 1.4);
  big.setBold(true);
  name->setFont(big);
  layout->addWidget(name);
  const QStringList lines = {
      QString::fromUtf8("版本 %1").arg(QStringLiteral(QUAVIX_VERSION)),
      QString::fromUtf8("五线谱的写作、编配和配器"),
      QString::fromUtf8("乐谱字体 velorin 取自 Bravura，按 SIL 开放字体许可证 1.1 发布"),
  };
  for (const QString& line : lines) layout->addWidget(new QLabel(line, this));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QString::fromUtf8("确定"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  for (QLabel* label : findChildren<QLabel*>()) label->setAccessibleName(label->text());
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QString::fromUtf8("确定"));
}

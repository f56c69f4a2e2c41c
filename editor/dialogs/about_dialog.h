// The about box: the product name from the settings file, the version and
// the licences of what the program is built from.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog {
  Q_OBJECT
 public:
  AboutDialog(const QString& productName, QWidget* parent = nullptr);
};

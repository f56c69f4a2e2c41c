#include "platform/qt_ui_host.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>

namespace {
QString Q(const std::string& s) { return QString::fromUtf8(s.c_str()); }
std::string S(const QString& s) { return s.toUtf8().toStdString(); }
QString Title(const std::string& caption) { return caption.empty() ? QApplication::applicationDisplayName() : Q(caption); }
}  // namespace

QString QtUiHost::QtFilter(const std::string& filter) {
  // Pairs of description and pattern separated by "|"; the description already
  // carries the pattern in parentheses.
  QStringList parts = Q(filter).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    out << (parts[i].contains('(') ? parts[i] : parts[i] + " (" + patterns + ")");
  }
  return out.join(";;");
}

void QtUiHost::MessageBox(const std::string& text, const std::string& caption, Icon icon) {
  QMessageBox box(parent_);
  box.setWindowTitle(Title(caption));
  box.setText(Q(text));
  box.setIcon(icon == Icon::Information ? QMessageBox::Information
              : icon == Icon::Warning   ? QMessageBox::Warning
              : icon == Icon::Error     ? QMessageBox::Critical
                                        : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

std::optional<std::string> QtUiHost::Prompt(const std::string& title, const std::string& prompt,
                                            const std::string& initial) {
  bool ok = false;
  QString answer = QInputDialog::getText(parent_, Title(title), Q(prompt), QLineEdit::Normal, Q(initial), &ok);
  if (!ok) return std::nullopt;
  return S(answer);
}

std::optional<std::string> QtUiHost::OpenFileName(const std::string& filter, const std::string& defaultExtension) {
  QString name = QFileDialog::getOpenFileName(parent_, QString(), QString(), QtFilter(filter));
  if (name.isEmpty()) return std::nullopt;
  (void)defaultExtension;
  return S(name);
}

std::optional<std::string> QtUiHost::SaveFileName(const std::string& filter, const std::string& defaultExtension,
                                                  const std::string& suggested) {
  QFileDialog dialog(parent_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setNameFilter(QtFilter(filter));
  dialog.setDefaultSuffix(Q(defaultExtension).remove(0, defaultExtension.rfind('.') == 0 ? 1 : 0));
  dialog.selectFile(Q(suggested));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return S(dialog.selectedFiles().first());
}

std::optional<unsigned> QtUiHost::ChooseColor(unsigned initial) {
  QColor c = QColorDialog::getColor(QColor(initial & 0xFF, (initial >> 8) & 0xFF, (initial >> 16) & 0xFF), parent_);
  if (!c.isValid()) return std::nullopt;
  return unsigned(c.red()) | unsigned(c.green()) << 8 | unsigned(c.blue()) << 16;
}

UiHost::Answer QtUiHost::Ask(const std::string& text, const std::string& caption, bool withCancel,
                             const std::string& yesText, const std::string& noText) {
  QMessageBox box(parent_);
  box.setWindowTitle(Title(caption));
  box.setText(Q(text));
  box.setIcon(QMessageBox::Question);
  QPushButton* yes = box.addButton(yesText.empty() ? QString::fromUtf8("是(&Y)") : Q(yesText), QMessageBox::YesRole);
  QPushButton* no = box.addButton(noText.empty() ? QString::fromUtf8("否(&N)") : Q(noText), QMessageBox::NoRole);
  QPushButton* cancel = withCancel ? box.addButton(QString::fromUtf8("取消"), QMessageBox::RejectRole) : nullptr;
  for (QPushButton* b : {yes, no, cancel})
    if (b) b->setAccessibleName(b->text().remove(QRegularExpression("\\(&.\\)")).remove('&'));
  box.setDefaultButton(yes);
  box.setEscapeButton(cancel ? cancel : no);
  box.exec();
  if (box.clickedButton() == yes) return Answer::Yes;
  if (box.clickedButton() == no) return Answer::No;
  return withCancel ? Answer::Cancel : Answer::No;
}

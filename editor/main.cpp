// Quavix, the score editor.
#include <QApplication>

#include "editor/app/application.h"
#include "editor/frame/main_frame.h"
#include "platform/qt_ui_host.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationDisplayName(QString::fromUtf8("Brenvo作曲家"));
  QtUiHost ui;
  QuavixApp quavix(ui);
  QStringList files = QApplication::arguments();
  files.removeFirst();
  if (!quavix.Start(files)) return 1;
  ui.SetParent(quavix.MainFrame());
  return QApplication::exec();
}

// Quavix, the score editor.
//   quavix [FILE.q5s ...] [--command ID ...]
// Each --command runs a menu command by its id on the active document after
// start-up, as choosing it would (for scripts and tests).
#include <QApplication>
#include <QIcon>
#include <QTimer>

#include "editor/app/application.h"
#include "editor/frame/main_frame.h"
#include "platform/qt_ui_host.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallChineseTranslations(app);
  SetUpIconTheme();
  QtUiHost ui;
  QuavixApp quavix(ui);
  QStringList files, commands;
  const QStringList args = QApplication::arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--command" && i + 1 < args.size()) commands << args[++i];
    else files << args[i];
  }
  if (!quavix.Start(files)) return 1;
  ui.SetParent(quavix.MainFrame());
  QTimer::singleShot(0, quavix.MainFrame(), [&] {
    for (const QString& c : commands) quavix.MainFrame()->OnCommand(c.toInt());
  });
  return QApplication::exec();
}

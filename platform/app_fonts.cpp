#include "platform/app_fonts.h"

#include <QFontDatabase>
#include <QString>

#include "common/paths.h"

bool RegisterMusicFont() {
  static int id = -2;
  if (id == -2) id = QFontDatabase::addApplicationFont(QString::fromStdString(qx::ProgramPath("fonts/velorin.ttf")));
  return id >= 0;
}

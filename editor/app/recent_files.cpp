#include "editor/app/recent_files.h"

#include <QFileInfo>

namespace {
const char* kGroup = "Recent File List";
}

RecentFileList::RecentFileList(QSettings& settings) : settings_(settings) {
  settings_.beginGroup(kGroup);
  for (int i = 1; i <= kSize; ++i) {
    const QString f = settings_.value(QString("File%1").arg(i)).toString();
    if (!f.isEmpty() && !files_.contains(f)) files_ << f;
  }
  settings_.endGroup();
}

void RecentFileList::Add(const QString& path) {
  const QString full = QFileInfo(path).absoluteFilePath();
  files_.removeAll(full);
  files_.prepend(full);
  while (files_.size() > kSize) files_.removeLast();
  Save();
}

void RecentFileList::Remove(const QString& path) {
  files_.removeAll(path);
  Save();
}

void RecentFileList::Save() {
  settings_.beginGroup(kGroup);
  settings_.remove("");
  for (int i = 0; i < files_.size(); ++i) settings_.setValue(QString("File%1").arg(i + 1), files_[i]);
  settings_.endGroup();
  settings_.sync();
}

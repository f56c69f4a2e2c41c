// The recent-file list of the File menu: four entries, newest first, kept in
// the settings under the application key "Score Edit".
#pragma once

#include <QSettings>
#include <QStringList>

class RecentFileList {
 public:
  static constexpr int kSize = 4;
  explicit RecentFileList(QSettings& settings);
  const QStringList& Files() const { return files_; }
  // Moves the file to the top (an absolute path), dropping the oldest.
  void Add(const QString& path);
  void Remove(const QString& path);
  void Save();

 private:
  QSettings& settings_;
  QStringList files_;
};

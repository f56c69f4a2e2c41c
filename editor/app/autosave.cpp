#include "editor/app/autosave.h"

#include <signal.h>
#include <unistd.h>

#include <QDir>
#include <QSettings>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "common/file_util.h"
#include "common/gbk.h"
#include "common/ini_file.h"
#include "common/ui_host.h"
#include "editor/app/score_document.h"
#include "editor/frame/main_frame.h"
#include "model/score.h"

namespace fs = std::filesystem;

namespace {
bool ProcessAlive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }
}  // namespace

Autosave::Autosave(CMainFrame& frame, UiHost& ui) : frame_(frame), ui_(ui) {
  connect(&timer_, &QTimer::timeout, this, &Autosave::SaveNow);
  // Closing a document ends its need for recovery.
  connect(&frame_, &CMainFrame::DocumentsChanged, this, [this] {
    for (auto it = files_.begin(); it != files_.end();) {
      bool open = false;
      for (const auto& d : frame_.Documents()) open |= d.get() == it->first;
      if (open) {
        ++it;
        continue;
      }
      std::error_code ec;
      fs::remove(it->second + ".q5s", ec);
      fs::remove(it->second + ".ini", ec);
      it = files_.erase(it);
    }
  });
}

Autosave::~Autosave() { Stop(); }

std::string Autosave::Folder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string base = data && *data ? data : QDir::homePath().toStdString() + "/.local/share";
  return base + "/quavix/recovery/";
}

int Autosave::IntervalMs() {
  if (const char* s = std::getenv("QUAVIX_AUTOSAVE_SECONDS"); s && std::atoi(s) > 0) return std::atoi(s) * 1000;
  QSettings settings;
  const int minutes = settings.value("Options/AutosaveMinutes", 2).toInt();
  return std::max(1, minutes) * 60 * 1000;
}

void Autosave::Start() { timer_.start(IntervalMs()); }

void Autosave::Stop() {
  timer_.stop();
  std::error_code ec;
  for (const auto& [doc, base] : files_) {
    fs::remove(base + ".q5s", ec);
    fs::remove(base + ".ini", ec);
  }
  files_.clear();
}

std::string Autosave::FileFor(CScoreEditDoc* doc) {
  auto it = files_.find(doc);
  if (it != files_.end()) return it->second;
  const std::string base = Folder() + std::to_string(::getpid()) + "-" + std::to_string(++serial_);
  files_[doc] = base;
  return base;
}

void Autosave::Forget(CScoreEditDoc* doc) {
  auto it = files_.find(doc);
  if (it == files_.end()) return;
  std::error_code ec;
  fs::remove(it->second + ".q5s", ec);
  fs::remove(it->second + ".ini", ec);
  files_.erase(it);
}

int Autosave::SaveNow() {
  std::error_code ec;
  fs::create_directories(Folder(), ec);
  int saved = 0;
  for (const auto& d : frame_.Documents()) {
    CScoreEditDoc* doc = d.get();
    if (!doc->IsModified()) {
      Forget(doc);
      continue;
    }
    const std::string base = FileFor(doc);
    // The note first names the document the score belongs to; the score
    // itself replaces its previous copy atomically.
    IniFile note;
    std::string path, title;
    qx::Utf8ToGbk(doc->Path(), path);
    qx::Utf8ToGbk(doc->Title().toStdString(), title);
    note.SetValue("Recovery", "Path", path);
    note.SetValue("Recovery", "Title", title);
    if (note.Save(base + ".ini") && doc->Score().SaveToFile(base + ".q5s")) ++saved;
  }
  return saved;
}

int Autosave::OfferRecovery() {
  std::error_code ec;
  if (!fs::is_directory(Folder(), ec)) return 0;
  std::vector<fs::path> found;
  for (const auto& entry : fs::directory_iterator(Folder(), ec))
    if (entry.path().extension() == ".q5s") found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  int restored = 0;
  for (const fs::path& score : found) {
    const std::string stem = score.stem().string();
    if (ProcessAlive(std::atol(stem.c_str()))) continue;  // another editor's, still running
    const std::string base = (score.parent_path() / stem).string();
    IniFile note;
    note.Load(base + ".ini");
    std::string path, title;
    note.GetString("Recovery", "Path", path);
    note.GetString("Recovery", "Title", title);
    path = qx::GbkToUtf8Lossy(path);
    title = qx::GbkToUtf8Lossy(title);
    const std::string name = path.empty() ? (title.empty() ? "无标题" : title) : path;
    const auto answer = ui_.Ask("上次编辑没有正常结束。找到自动保存的乐谱：\n" + name + "\n是否恢复？", "", false,
                                "恢复(&R)", "放弃(&D)");
    if (answer == UiHost::Answer::Yes) {
      auto doc = std::make_unique<CScoreEditDoc>(&ui_);
      std::string error;
      if (doc->OpenDocument(score.string(), &error)) {
        doc->SetPath(path);
        doc->SetModified(true);
        frame_.AddDocument(std::move(doc));
        ++restored;
      } else {
        ui_.MessageBox("无法恢复 " + name + "\n" + error, "", UiHost::Icon::Warning);
      }
    }
    fs::remove(base + ".q5s", ec);
    fs::remove(base + ".ini", ec);
  }
  return restored;
}

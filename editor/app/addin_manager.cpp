#include "editor/app/addin_manager.h"

#include <dlfcn.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/text_util.h"
#include "common/ui_host.h"

namespace {

bool EndsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

AddinManager::~AddinManager() { FreeAll(); }

void AddinManager::LoadAll(const std::string& programDir, UiHost& ui) {
  if (loaded_) return;
  loaded_ = true;
  firstID_ = nextID_ = kFirstID;
  limitID_ = kLimitID;

  namespace fs = std::filesystem;
  std::string folder = programDir;
  if (!folder.empty() && folder.back() != '/') folder += '/';
  folder += "addin";
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (!EndsWith(name, ".so")) continue;
    std::error_code typeError;
    if (it->is_directory(typeError)) continue;
    names.push_back(name);
  }
  // The folder's own order differs between file systems; the IDs and the
  // toolbars' order should not.
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) Load(folder + "/" + name, ui);
}

bool AddinManager::TakeID(int& id) {
  if (nextID_ >= limitID_) return false;
  id = nextID_++;
  return true;
}

bool AddinManager::Load(const std::string& path, UiHost& ui) {
  // Every symbol resolved now: a library with missing dependencies fails
  // here instead of in the middle of a command.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return false;
  modules_.push_back({path, handle});

  auto getCount = reinterpret_cast<QuavixGetMethodCountProc>(::dlsym(handle, "GetMethodCount"));
  if (!getCount) return true;
  const int count = getCount();
  auto getName = reinterpret_cast<QuavixGetMethodNameProc>(::dlsym(handle, "GetMethodName"));
  if (!getName) return true;

  for (int i = 0; i < count; ++i) {
    int id = 0;
    if (!TakeID(id)) break;  // the range is used up: the rest are dropped
    char buffer[QUAVIX_ADDIN_NAME_SIZE] = {};
    if (getName(i, buffer, QUAVIX_ADDIN_NAME_SIZE) < 0) continue;  // the ID stays used
    buffer[QUAVIX_ADDIN_NAME_SIZE - 1] = '\0';
    auto entry = reinterpret_cast<QuavixAddinCommandProc>(::dlsym(handle, buffer));
    if (!entry) {
      ui.MessageBox(qx::Format("插件\n%s\n没有实现接口\n%s", path.c_str(), buffer));
      continue;
    }
    commands_.push_back({id, handle, entry});
    commandModule_.push_back(modules_.size() - 1);
  }
  return true;
}

std::string AddinManager::ToolbarFileOf(const std::string& modulePath) {
  const size_t slash = modulePath.rfind('/');
  const size_t dot = modulePath.rfind('.');
  // A dot in a folder name is not an extension.
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return modulePath + ".rci";
  return modulePath.substr(0, dot) + ".rci";
}

bool AddinManager::ToolbarFile(size_t module, UiHost& ui, std::string& path) const {
  if (module >= modules_.size()) return false;
  path = ToolbarFileOf(modules_[module].Path);
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return true;
  ui.MessageBox(qx::Format("没有为插件提供工具栏资源文件\n%s\n", path.c_str()));
  return false;
}

bool AddinManager::Run(int id, CScore* score) const {
  for (const AddinCommand& command : commands_) {
    if (command.ID != id) continue;
    command.Entry(score);
    return true;
  }
  return false;
}

std::vector<int> AddinManager::CommandIdsOf(size_t module) const {
  std::vector<int> ids;
  if (module >= modules_.size()) return ids;
  for (size_t i = 0; i < commands_.size(); ++i) {
    if (commandModule_[i] == module) ids.push_back(commands_[i].ID);
  }
  return ids;
}

size_t AddinManager::BindCommandIds(std::vector<int>& buttonIds, const std::vector<int>& commandIds) {
  size_t button = 0;
  size_t bound = 0;
  for (int id : commandIds) {
    while (button < buttonIds.size() && buttonIds[button] == 0) ++button;
    if (button >= buttonIds.size()) break;
    buttonIds[button++] = id;
    ++bound;
  }
  return bound;
}

void AddinManager::FreeAll() {
  commands_.clear();
  commandModule_.clear();
  for (AddinModule& module : modules_) {
    if (module.Handle) ::dlclose(module.Handle);
  }
  modules_.clear();
}

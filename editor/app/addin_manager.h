// The plug-in manager: loads the libraries in the program folder's "addin"
// folder at start-up, hands their commands IDs from 38000 up to, not
// including, 39000, runs a command on the active score and unloads
// everything at exit. No toolkit: the toolbars are built on top of it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "addin/quavix_addin.h"

class UiHost;

// One plug-in command.
struct AddinCommand {
  int ID = 0;
  void* Module = nullptr;  // dlopen handle
  QuavixAddinCommandProc Entry = nullptr;
};

// One loaded library.
struct AddinModule {
  std::string Path;
  void* Handle = nullptr;
};

class AddinManager {
 public:
  static constexpr int kFirstID = 38000;
  static constexpr int kLimitID = 39000;  // never handed out
  static bool IsAddinCommand(int id) { return id >= kFirstID && id < kLimitID; }

  AddinManager() = default;
  AddinManager(const AddinManager&) = delete;
  AddinManager& operator=(const AddinManager&) = delete;
  ~AddinManager();  // FreeAll

  // Sets the ID range and loads every "addin/*.so" under `programDir` (a
  // folder, '/' at the end or not), in name order. Directories are skipped.
  // Plug-ins are loaded once: a second call does nothing.
  void LoadAll(const std::string& programDir, UiHost& ui);
  // Loads one library and registers its commands. A library that does not
  // load is skipped silently (false); once loaded it stays loaded until
  // FreeAll, whatever its exports are.
  bool Load(const std::string& path, UiHost& ui);

  // The toolbar file of loaded module `module` into `path`; when it does not
  // exist, shows "没有为插件提供工具栏资源文件" with its path and returns false.
  bool ToolbarFile(size_t module, UiHost& ui, std::string& path) const;
  // The ".rci" beside a library: the text from the last '.' of the file name
  // replaced (".rci" appended when there is none).
  static std::string ToolbarFileOf(const std::string& modulePath);

  // Runs the first command with that ID on `score` (null when no document is
  // open). False when no command has the ID.
  bool Run(int id, CScore* score) const;

  const std::vector<AddinModule>& Modules() const { return modules_; }
  const std::vector<AddinCommand>& Commands() const { return commands_; }
  // The IDs of one module's commands in registration order.
  std::vector<int> CommandIdsOf(size_t module) const;
  int NextID() const { return nextID_; }

  // Gives the buttons the command IDs: each command takes the next button,
  // from the left, whose ID is not 0 (separators are 0), until the buttons
  // run out. Returns how many were bound.
  static size_t BindCommandIds(std::vector<int>& buttonIds, const std::vector<int>& commandIds);

  // Frees the command records, then closes the modules in load order.
  void FreeAll();

 private:
  bool TakeID(int& id);

  std::vector<AddinModule> modules_;
  std::vector<AddinCommand> commands_;
  std::vector<size_t> commandModule_;  // index into modules_ per command (a library linked twice shares a handle)
  int firstID_ = kFirstID;
  int nextID_ = kFirstID;
  int limitID_ = kLimitID;
  bool loaded_ = false;
};

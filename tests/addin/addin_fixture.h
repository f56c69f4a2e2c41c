// Program folders with plug-ins for the tests: copies of the test plug-ins
// (a copy loads as a library of its own, with its own state) and their
// toolbar files.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/file_util.h"
#include "tests/common/scratch_dir.h"

class AddinFolder {
 public:
  // Installed like the runtime folder: with the symbol file beside the plug-ins.
  AddinFolder() {
    std::filesystem::create_directories(dir_ / "addin");
    std::filesystem::copy_file(QUAVIX_DEFINE_INI, Addin("define.ini"));
  }
  const std::string& Path() const { return dir_.Path(); }
  std::string Addin(const std::string& name) const { return dir_ / ("addin/" + name); }

  // Copies a test plug-in ("fx_three" ...) to addin/<name>.
  std::string Install(const std::string& fixture, const std::string& name) const {
    const std::string target = Addin(name);
    std::filesystem::copy_file(std::string(QUAVIX_FIXTURE_DIR) + "/" + fixture + ".so", target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
  }
  void Write(const std::string& name, const std::string& bytes) const {
    qx::WriteFileAtomically(Addin(name), bytes);
  }
  // A toolbar file with the given title and button IDs (0: separator).
  void WriteToolbar(const std::string& name, const std::string& title, const std::vector<int>& ids,
                    const std::string& bitmap = "strip.bmp") const {
    std::string text = "[KRToolBar]\r\nTitle=" + title + "\r\nImageWidth=16\r\nImageHeight=15\r\nBitmap=" + bitmap +
                       "\r\nButtons=" + std::to_string(ids.size()) + "\r\n[Buttons]\r\n";
    for (size_t i = 0; i < ids.size(); ++i) {
      const std::string key = "Button[" + std::to_string(i) + "].";
      text += key + "ID=" + std::to_string(ids[i]) + "\r\n";
      text += key + "Style=" + (ids[i] ? "0" : "1") + "\r\n";
      text += key + "Image=" + std::to_string(i) + "\r\n";
    }
    Write(name, text);
  }

 private:
  ScratchDir dir_;
};

// The test plug-ins' records of their calls.
struct FixtureCalls {
  explicit FixtureCalls(void* module)
      : Count(reinterpret_cast<int (*)()>(dlsym(module, "FixtureCalls"))),
        LastCommand(reinterpret_cast<const char* (*)()>(dlsym(module, "FixtureLastCommand"))),
        LastScore(reinterpret_cast<CScore* (*)()>(dlsym(module, "FixtureLastScore"))) {}
  int (*Count)();
  const char* (*LastCommand)();
  CScore* (*LastScore)();
};

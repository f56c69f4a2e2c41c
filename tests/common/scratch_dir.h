// A private temporary folder for one test, removed with everything in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>

#include "common/file_util.h"

class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = "/tmp/quavix-test-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }

  const std::string& Path() const { return path_; }  // with a trailing '/'
  std::string operator/(const std::string& name) const { return path_ + name; }

  std::set<std::string> List(const std::string& sub = "") const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_ + sub)) names.insert(entry.path().filename());
    return names;
  }
  std::string Read(const std::string& name) const {
    std::string bytes = "<unreadable>";
    qx::ReadWholeFile(path_ + name, bytes);
    return bytes;
  }

 private:
  std::string path_;
};

// A UiHost for tests: cancels every question and remembers every message.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/ui_host.h"

class ScriptedUiHost : public UiHost {
 public:
  void MessageBox(const std::string& text, const std::string&, Icon) override { Messages.push_back(text); }
  std::optional<std::string> Prompt(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> OpenFileName(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::string> SaveFileName(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<unsigned> ChooseColor(unsigned) override { return std::nullopt; }
  std::vector<std::string> Messages;
};

// A UiHost for tests: remembers every message and question, answers questions
// from a queue (Cancel, or No where Cancel is not offered, once it is empty),
// and cancels every other prompt.
#pragma once

#include <deque>
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
  std::optional<std::string> OpenFileName(const std::string&, const std::string&) override {
    if (OpenNames.empty()) return std::nullopt;
    std::string name = OpenNames.front();
    OpenNames.pop_front();
    return name;
  }
  std::optional<std::string> SaveFileName(const std::string&, const std::string&, const std::string&) override {
    if (SaveNames.empty()) return std::nullopt;
    std::string name = SaveNames.front();
    SaveNames.pop_front();
    return name;
  }
  std::optional<unsigned> ChooseColor(unsigned) override { return std::nullopt; }
  Answer Ask(const std::string& text, const std::string&, bool withCancel, const std::string&,
             const std::string&) override {
    Questions.push_back(text);
    if (Answers.empty()) return withCancel ? Answer::Cancel : Answer::No;
    Answer a = Answers.front();
    Answers.pop_front();
    return a;
  }
  std::vector<std::string> Messages;
  std::vector<std::string> Questions;
  std::deque<Answer> Answers;
  std::deque<std::string> SaveNames;
  std::deque<std::string> OpenNames;  // answers to the open chooser, then cancel  // answers to the save chooser, then cancel
};

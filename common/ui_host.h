// How core and editor code talk to the user: message boxes, prompts and file
// choosers go through this interface, so that tests can answer them from a
// script and the core needs no toolkit. Texts are UTF-8.
#pragma once

#include <optional>
#include <string>

class UiHost {
 public:
  virtual ~UiHost() = default;
  enum class Icon { None, Information, Warning, Error };
  // A plain message box with an OK button.
  virtual void MessageBox(const std::string& text, const std::string& caption = "", Icon icon = Icon::None) = 0;
  // The input prompt: a title, a prompt and one edit field; nullopt when cancelled.
  virtual std::optional<std::string> Prompt(const std::string& title, const std::string& prompt,
                                            const std::string& initial) = 0;
  // File choosers; filters in the form "描述 (*.ext)|*.ext|...". nullopt when cancelled.
  virtual std::optional<std::string> OpenFileName(const std::string& filter, const std::string& defaultExtension) = 0;
  virtual std::optional<std::string> SaveFileName(const std::string& filter, const std::string& defaultExtension,
                                                  const std::string& suggested) = 0;
  // Colour chooser on a 0x00BBGGRR colour.
  virtual std::optional<unsigned> ChooseColor(unsigned initial) = 0;
  // A question with Yes and No buttons, and Cancel when asked for; the
  // buttons' texts may be given ("恢复", "放弃"). Hosts that cannot ask
  // answer Cancel where it is offered and No otherwise, which changes nothing.
  enum class Answer { Yes, No, Cancel };
  virtual Answer Ask(const std::string& text, const std::string& caption, bool withCancel,
                     const std::string& yesText = "", const std::string& noText = "") {
    return withCancel ? Answer::Cancel : Answer::No;
  }
};

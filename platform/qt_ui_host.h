// The user-interaction host over Qt dialogs.
#pragma once

#include <QWidget>

#include "common/ui_host.h"

class QtUiHost : public UiHost {
 public:
  explicit QtUiHost(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void MessageBox(const std::string& text, const std::string& caption, Icon icon) override;
  std::optional<std::string> Prompt(const std::string& title, const std::string& prompt,
                                    const std::string& initial) override;
  std::optional<std::string> OpenFileName(const std::string& filter, const std::string& defaultExtension) override;
  std::optional<std::string> SaveFileName(const std::string& filter, const std::string& defaultExtension,
                                          const std::string& suggested) override;
  std::optional<unsigned> ChooseColor(unsigned initial) override;
  Answer Ask(const std::string& text, const std::string& caption, bool withCancel, const std::string& yesText,
             const std::string& noText) override;

  // "描述 (*.a)|*.a|所有文件 (*.*)|*.*||" as a Qt filter list.
  static QString QtFilter(const std::string& filter);

 private:
  QWidget* parent_;
};

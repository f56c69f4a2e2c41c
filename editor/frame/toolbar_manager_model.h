// The toolbar manager (command 33070): one row per plug-in toolbar with a
// mark for whether it is shown and its title; choosing a row shows or hides
// that bar. The bars are reached through callbacks, so the rules need no
// window.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct ToolbarManagerItem {
  std::string Title;  // UTF-8
  std::function<bool()> IsVisible;
  std::function<void(bool)> SetVisible;
};

class ToolbarManagerModel {
 public:
  static constexpr const char* kShown = "■";
  static constexpr const char* kHidden = "□";
  static constexpr int kMarkColumnWidth = 30;

  explicit ToolbarManagerModel(std::vector<ToolbarManagerItem> items) : items_(std::move(items)) {}

  int RowCount() const { return static_cast<int>(items_.size()); }
  // "■" for a shown bar, "□" for a hidden one; empty outside the rows.
  std::string Mark(int row) const;
  std::string Title(int row) const;
  // Shows a hidden bar or hides a shown one; false for a row outside.
  bool Toggle(int row);

  // The title column takes the window's width less 32, and 50 when the
  // window is narrower than 82.
  static int TitleColumnWidth(int windowWidth) { return windowWidth < 82 ? 50 : windowWidth - 32; }

 private:
  std::vector<ToolbarManagerItem> items_;
};

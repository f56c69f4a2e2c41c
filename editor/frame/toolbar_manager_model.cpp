#include "editor/frame/toolbar_manager_model.h"

std::string ToolbarManagerModel::Mark(int row) const {
  if (row < 0 || row >= RowCount()) return std::string();
  return items_[static_cast<size_t>(row)].IsVisible() ? kShown : kHidden;
}

std::string ToolbarManagerModel::Title(int row) const {
  if (row < 0 || row >= RowCount()) return std::string();
  return items_[static_cast<size_t>(row)].Title;
}

bool ToolbarManagerModel::Toggle(int row) {
  if (row < 0 || row >= RowCount()) return false;
  ToolbarManagerItem& item = items_[static_cast<size_t>(row)];
  item.SetVisible(!item.IsVisible());
  return true;
}

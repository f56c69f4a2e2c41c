// CKRToolBar: a tool bar built at run time from a toolbar definition file
// and its bitmap strip; the plug-ins' tool bars are of this class. Also the
// plug-in tool bars of the main window and their saved layout.
#pragma once

#include <QToolBar>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class AddinManager;
class QMainWindow;
class UiHost;

class CKRToolBar : public QToolBar {
  Q_OBJECT
 public:
  // The owner is the frame the bar belongs to; with none, the application's
  // main window becomes the owner when the bar is loaded.
  explicit CKRToolBar(QMainWindow* owner = nullptr);

  // Gives a command's text for its ID (empty when unknown); used for the
  // tooltip and accessible name of buttons whose definition has no text.
  using CommandTextFn = std::function<QString(int id)>;

  // Loads a definition file: the bar's ID, title, borders and styles, then
  // the bitmap strip and the buttons. Returns 1; 0 when the bitmap cannot be
  // loaded (after "CKRToolBar::Load failed to load bitmap\n<path>"; the bar
  // keeps its title, without buttons); -1 when the file cannot be read.
  int Load(const std::string& path, UiHost& ui, const CommandTextFn& commandText = {});

  const std::string& DefinitionPath() const { return definitionPath_; }
  const std::string& SymbolPath() const { return symbolPath_; }
  QMainWindow* Owner() const { return owner_; }
  int ControlID() const { return controlID_; }
  // The title as the definition stores it (GBK); the window title is its
  // UTF-8 form.
  const std::string& Title() const { return title_; }
  uint32_t BarStyle() const { return barStyle_; }
  uint32_t ControlStyle() const { return controlStyle_; }
  // The dock area the bar's alignment style asks for.
  Qt::ToolBarArea PreferredArea() const;

  // Command IDs of the buttons, separators included (as 0 unless the
  // definition gave them one).
  std::vector<int> ButtonIds() const;
  // Sets the IDs back, keeping each button's style and image.
  void SetButtonIds(const std::vector<int>& ids);
  // The action of button `index`; null for a separator or past the end.
  QAction* ButtonAction(size_t index) const;
  size_t ButtonCount() const { return buttons_.size(); }

 signals:
  // A button was pressed; its command ID.
  void CommandChosen(int id);

 private:
  struct Button {
    int ID = 0;
    uint32_t Style = 0;
    QAction* Action = nullptr;  // null for separators
  };

  QMainWindow* owner_;
  std::string definitionPath_;
  std::string symbolPath_;
  std::string title_;
  int controlID_ = 0;
  uint32_t barStyle_ = 0;
  uint32_t controlStyle_ = 0;
  std::vector<Button> buttons_;
};

// The first bar whose title equals `title` without regard to case.
CKRToolBar* FindToolBarByTitle(const std::vector<CKRToolBar*>& list, std::string_view title);

// Builds the plug-ins' tool bars after AddinManager::LoadAll: for each loaded
// module, its ".rci" is read for the title; a bar with that title in `list`
// is reused, else a new one is loaded from the file, appended to `list` and
// docked in `frame`. Then the module's commands are bound to the bar's
// buttons. Returns the bars it created.
std::vector<CKRToolBar*> CreateAddinToolBars(QMainWindow& frame, const AddinManager& addins, UiHost& ui,
                                             std::vector<CKRToolBar*>& list,
                                             const CKRToolBar::CommandTextFn& commandText = {});

// Writes "barstatus.ini" for the listed bars (see bar_state.h).
bool SaveBarState(QMainWindow& frame, const std::vector<CKRToolBar*>& list, const std::string& path);
// Shows, hides and docks the listed bars as the file says. Qt offers no way
// to float a tool bar from code, so a bar saved floating comes back docked
// in a row of its own.
void RestoreBarState(QMainWindow& frame, const std::vector<CKRToolBar*>& list, const std::string& path);

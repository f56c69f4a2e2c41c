// Every command of the editor as one table: its id (the menu and toolbar
// numbers files and plug-ins rely on), where it sits in the menus, its texts,
// its shortcut, and the rules that enable and check it. Menus, toolbars and
// the context menu are built from this table; nothing here needs Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Whether a command can run now.
enum class EnableRule : uint8_t {
  Always,        // application commands
  HasDocument,   // needs an active document
  HasSelection,  // needs a selected object in the active document
  CanUndo,
  CanRedo,
  CanPaste,      // the clipboard holds score data
  Playing,       // part play or recording runs
  Pending,       // its behaviour arrives later: shown, disabled
  Never,         // a menu item with no command behind it
};

// What a command's check mark shows.
enum class CheckRule : uint8_t {
  None,
  Tool,           // the command's id is the current tool
  DotSingle,      // 单附点 is set for insertion
  DotDouble,
  SelectionMode,  // 33096..33098 against the view's mode
  EditVoice,      // 33201..33208 against the chosen voice
  BarVisible,     // a toolbar (or the status bar) is shown
};

// Who handles a command, in the framework's routing order.
enum class CommandScope : uint8_t { View, Document, Frame, App };

enum CommandFlags : uint8_t {
  kSeparatorBefore = 1,  // a separator line above the item in its menu
  kCheckable = 2,
  kNoMenu = 4,  // toolbar or script only
};

struct EditorCommand {
  int Id;
  const char* Menu;      // menu path, "编辑(&E)" or "编辑(&E)/对齐(&G)"; empty when on no menu
  const char* Text;      // the menu text with its mnemonic
  const char* Status;    // status-bar text, then "\n" and the tooltip
  const char* Shortcut;  // portable key text ("Ctrl+S"), empty for none
  CommandScope Scope;
  EnableRule Enable;
  CheckRule Check;
  uint8_t Flags;
};

// The state the rules look at; filled by the frame from the active view and
// document.
struct CommandContext {
  bool HasDocument = false;
  bool HasSelection = false;
  bool CanUndo = false;
  bool CanRedo = false;
  bool ClipboardHasData = false;
  int Tool = 0;           // 0 is the selection tool
  int SelectionMode = 1;  // 0 staff, 1 note, 2 graphics
  int EditVoice = 0;
  bool Playing = false;  // the play clock runs
  bool DotSingle = false;
  bool DotDouble = false;
  std::function<bool(int)> BarVisible;  // by control id; null when no frame
};

const std::vector<EditorCommand>& EditorCommands();
// Null when no row has that id.
const EditorCommand* FindEditorCommand(int id);
bool IsEnabled(const EditorCommand& command, const CommandContext& context);
bool IsChecked(const EditorCommand& command, const CommandContext& context);

// The menu text without its mnemonic and trailing dots ("打开(&O)..." → "打开"),
// the name screen readers announce.
std::string PlainMenuText(std::string_view text);
// The tooltip of a command: the part of the status text after "\n", else the
// plain menu text.
std::string ToolTipText(const EditorCommand& command);
// The status-bar part of the status text.
std::string StatusText(const EditorCommand& command);

// The top-level menus in the order the menu bar shows them.
const std::vector<const char*>& MenuBarOrder();

// The built-in toolbars.
struct BuiltinToolBar {
  int Resource;
  int ControlId;
  const char* Title;  // empty for bars that have none
  std::vector<int> Buttons;  // command ids, 0 a separator
  int Row;                   // 1-based docking row at the top
  bool Visible;
};
const std::vector<BuiltinToolBar>& BuiltinToolBars();

// The context menu of the score view.
const std::vector<int>& ContextMenuCommands();

// Ids of the framework's commands used by the frame.
enum FrameworkId : int {
  kIdFileNew = 57600,
  kIdFileOpen = 57601,
  kIdFileClose = 57602,
  kIdFileSave = 57603,
  kIdFileSaveAs = 57604,
  kIdFilePrintSetup = 57606,
  kIdFilePrint = 57607,
  kIdFilePrintPreview = 57609,
  kIdFilePrintPdf = 33130,  // the pages as a PDF file
  kIdFileMru1 = 57616,  // .. 57619
  kIdEditClear = 57632,
  kIdEditCopy = 57634,
  kIdEditCut = 57635,
  kIdEditPaste = 57637,
  kIdEditSelectAll = 57642,
  kIdEditUndo = 57643,
  kIdEditRedo = 57644,
  kIdWindowNew = 57648,
  kIdWindowArrange = 57649,
  kIdWindowCascade = 57650,
  kIdWindowTileHorz = 57651,
  kIdWindowTileVert = 57652,
  kIdAppAbout = 57664,
  kIdAppExit = 57665,
  kIdViewToolBar = 59392,
  kIdViewStatusBar = 59393,
  kIdHelp = 33071,
  kIdHomepage = 33118,
  kIdPlay = 32960,
  kIdToolBarManager = 33070,
  kIdRecord = 32974,
  kIdStop = 32975,
  kIdPlayPart = 33064,
  kIdDotSingle = 34516,
  kIdDotDouble = 34517,
  kIdModeStaff = 33096,
  kIdModeNote = 33097,
  kIdModeGraphics = 33098,
  kIdVoice1 = 33201,
  kIdExportMusicXml = 33210,  // beyond the original table
  kIdImportMusicXml = 33211,
  kIdAddinFirst = 38000,
  kIdAddinLimit = 39000,
};

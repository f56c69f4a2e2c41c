// Toolbar definition files: an ini file with a [KRToolBar] section for the
// bar and a [Buttons] section with "Button[i].ID/Style/Image" per button.
// Plug-ins ship one beside their library under the extension ".rci". Style
// values are expressions over the names of a symbol file ("define.ini").
// No toolkit here; CKRToolBar builds the Qt bar from the result.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class IniFile;

// The standard values the style names stand for (see res/define.ini).
constexpr uint32_t kStyleVisible = 0x10000000;  // WS_VISIBLE
constexpr uint32_t kButtonSeparator = 0x1;      // TBBS_SEPARATOR
constexpr uint32_t kButtonCheckBox = 0x2;       // TBBS_CHECKBOX
constexpr uint32_t kButtonDisabled = 0x40000;   // TBBS_DISABLED
constexpr uint32_t kButtonChecked = 0x10000;    // TBBS_CHECKED
constexpr uint32_t kButtonHidden = 0x80000;     // TBBS_HIDDEN

constexpr int kDefaultToolbarID = 59392;  // 0xE800
// Definitions are read from files anyone may write; a count past this is
// not a toolbar.
constexpr int kMaxToolbarButtons = 4096;

struct ToolbarButtonDef {
  int ID = 0;  // 0: separator or unbound
  uint32_t Style = 0;
  int Image = 0;
  std::string Text;  // "Button[i].Text", optional: tooltip and accessible name (GBK)
};

struct ToolbarDefinition {
  std::string Path;        // the definition file
  std::string SymbolPath;  // the symbol file, resolved
  std::string BitmapPath;  // the button strip, resolved
  int WindowID = kDefaultToolbarID;
  std::string Title;  // as stored (GBK); bars are found by it
  int LeftBorder = 0, TopBorder = 0, RightBorder = 0, BottomBorder = 0;
  uint32_t BarStyle = 0;
  uint32_t ControlStyle = 0;
  int ButtonWidth = 16, ButtonHeight = 16;
  int ImageWidth = 16, ImageHeight = 16;
  std::vector<ToolbarButtonDef> Buttons;  // at least one
};

// The value of a style expression: the text is cut at each '|', pieces lose
// their leading blanks, empty pieces are skipped, a piece that begins with a
// digit counts as its decimal value, any other as the value of that name in
// section [define] of `symbols` (0 when missing; names match without regard
// to case or the blanks before a '|'). The values are added, so a flag named
// twice counts twice.
uint32_t EvaluateStyle(std::string_view expression, const IniFile& symbols);

// Reads a definition file; false when it cannot be read. Values are taken as
// written (a backslash is no escape). Missing keys take their defaults; a
// missing symbol file makes every name 0.
bool ReadToolbarDefinition(const std::string& path, ToolbarDefinition& out);

// Bar titles compare without regard to ASCII letter case; two-byte GBK
// characters compare exactly (their second byte may look like a letter).
bool SameTitle(std::string_view a, std::string_view b);

// The layout of the plug-in toolbars in "barstatus.ini": written when the
// main window goes, read back at start-up after the plug-ins. The file and
// the restore order are plain data here; kr_toolbar.h maps them onto the
// main window's tool bars.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// The control IDs of the frame's dock bars, written as DockBarID.
constexpr int kDockBarTop = 0xE81B;
constexpr int kDockBarLeft = 0xE81C;
constexpr int kDockBarRight = 0xE81D;
constexpr int kDockBarBottom = 0xE81E;
constexpr int kDockBarFloat = 0xE81F;
constexpr int kBarVisible = 268435456;  // the window's visible style bit

// One "Bar%d" section. Left is the bar's screen rectangle left + 2, as the
// file keeps it; the others are the rectangle's screen coordinates.
struct BarStateEntry {
  std::string Name;  // the bar's title (GBK)
  int Visible = 0;   // kBarVisible or 0
  int DockBarID = kDockBarTop;
  int Float = 0;
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// "barstatus.ini" in the settings folder (the program folder when writable).
std::string BarStatePath();

// Sorts the entries by Top, then Left, deletes the file and writes [BarStatus]
// Count and one "Bar%d" section per entry. False when it cannot be written.
bool WriteBarState(const std::string& path, std::vector<BarStateEntry> entries);
// The entries in file order; a missing file gives none, and "Bar%d"
// sections that are missing are passed over.
std::vector<BarStateEntry> ReadBarState(const std::string& path);

// What restoring does with one bar.
struct BarPlacement {
  enum class Dock { Hidden, Float, NewRow, RightOfPrevious };
  size_t Bar = 0;  // the index the finder gave
  Dock How = Dock::Hidden;
  int Left = 0, Top = 0;  // where a floating bar goes
};

// The restore steps in file order: entries whose name finds no bar are
// skipped; a visible docked bar goes right of the previously docked bar when
// that one had the same Top, else into a row of its own. `find` returns a
// bar's index for a title, or -1.
std::vector<BarPlacement> PlanBarRestore(const std::vector<BarStateEntry>& entries,
                                         const std::function<int(std::string_view title)>& find);

#include "editor/frame/bar_state.h"

#include <algorithm>
#include <cstdio>

#include "common/ini_file.h"
#include "common/paths.h"
#include "common/text_util.h"

std::string BarStatePath() { return qx::SettingsDirectory() + "barstatus.ini"; }

bool WriteBarState(const std::string& path, std::vector<BarStateEntry> entries) {
  std::stable_sort(entries.begin(), entries.end(), [](const BarStateEntry& a, const BarStateEntry& b) {
    return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
  });
  std::remove(path.c_str());
  IniFile ini;
  ini.SetInt("BarStatus", "Count", static_cast<int>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const BarStateEntry& e = entries[i];
    const std::string section = qx::Format("Bar%d", static_cast<int>(i));
    ini.SetValue(section, "Name", e.Name);
    ini.SetInt(section, "Visible", e.Visible);
    ini.SetInt(section, "DockBarID", e.DockBarID);
    ini.SetInt(section, "Float", e.Float);
    ini.SetInt(section, "Left", e.Left);
    ini.SetInt(section, "Top", e.Top);
    ini.SetInt(section, "Right", e.Right);
    ini.SetInt(section, "Bottom", e.Bottom);
  }
  return ini.Save(path) != 0;
}

std::vector<BarStateEntry> ReadBarState(const std::string& path) {
  std::vector<BarStateEntry> entries;
  IniFile ini;
  if (!ini.Load(path)) return entries;
  // The count comes from a file: a bar per section at most, and sections
  // that are not there name no bar.
  const int count = std::min<int>(ini.GetInt("BarStatus", "Count", 0), 1 << 16);
  for (int i = 0; i < count; ++i) {
    const std::string section = qx::Format("Bar%d", i);
    if (!ini.FindSection(section)) continue;
    BarStateEntry e;
    ini.GetString(section, "Name", e.Name);
    if (e.Name.size() > 255) e.Name.resize(255);
    e.Visible = ini.GetInt(section, "Visible", 0);
    e.DockBarID = ini.GetInt(section, "DockBarID", 0);
    e.Float = ini.GetInt(section, "Float", 0);
    e.Left = ini.GetInt(section, "Left", 0);
    e.Top = ini.GetInt(section, "Top", 0);
    e.Right = ini.GetInt(section, "Right", 0);
    e.Bottom = ini.GetInt(section, "Bottom", 0);
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<BarPlacement> PlanBarRestore(const std::vector<BarStateEntry>& entries,
                                         const std::function<int(std::string_view title)>& find) {
  std::vector<BarPlacement> steps;
  bool havePrevious = false;
  int previousTop = 0;
  for (const BarStateEntry& e : entries) {
    const int bar = find(e.Name);
    if (bar < 0) continue;
    BarPlacement step;
    step.Bar = static_cast<size_t>(bar);
    step.Left = e.Left;
    step.Top = e.Top;
    if (e.Visible == 0) {
      step.How = BarPlacement::Dock::Hidden;
    } else if (e.Float != 0) {
      step.How = BarPlacement::Dock::Float;
    } else {
      step.How = havePrevious && previousTop == e.Top ? BarPlacement::Dock::RightOfPrevious
                                                      : BarPlacement::Dock::NewRow;
      havePrevious = true;
      previousTop = e.Top;
    }
    steps.push_back(step);
  }
  return steps;
}

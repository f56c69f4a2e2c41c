#include "editor/frame/toolbar_definition.h"

#include "common/file_util.h"
#include "common/ini_file.h"
#include "common/paths.h"
#include "common/text_util.h"

namespace {

constexpr const char* kBar = "KRToolBar";
constexpr const char* kButtons = "Buttons";
constexpr const char* kDefaultStyle = "WS_CHILD | WS_VISIBLE| CBRS_ALIGN_TOP";

// Decimal digits up to the first non-digit, modulo 2^32 like the flags the
// values stand for (0x80000000 and up do not fit an int).
uint32_t DecimalValue(std::string_view text) {
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  return value;
}

// A symbol's number: decimal, or hexadecimal after "0x".
uint32_t SymbolValue(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return 0;
  text.remove_prefix(first);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    uint32_t value = 0;
    for (char c : text.substr(2)) {
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else break;
      value = value * 16 + static_cast<uint32_t>(digit);
    }
    return value;
  }
  if (text[0] == '-') return static_cast<uint32_t>(qx::AtoiLike(text));
  return DecimalValue(text);
}

// The symbol file is a settings list: names match without regard to case
// and without the blanks around them, so "WS_CHILD | 16" finds WS_CHILD.
const std::string* FindSymbol(const IniFile& symbols, std::string_view name) {
  const size_t last = name.find_last_not_of(" \t");
  name = name.substr(0, last + 1);
  for (const IniFile::Section& section : symbols.Sections()) {
    if (!SameTitle(section.Name(), "define")) continue;
    if (const std::string* value = section.Find(name)) return value;
    for (const IniFile::Entry& entry : section.Entries()) {
      std::string_view key = entry.first;
      const size_t end = key.find_last_not_of(" \t");
      if (end != std::string_view::npos && SameTitle(key.substr(0, end + 1), name)) return &entry.second;
    }
  }
  return nullptr;
}

// Definition and symbol files are plain settings lists with no escapes: a
// folder name like "sub\new.ini" keeps its backslash (the settings file
// reader would turn "\n" into a line break). Doubling every backslash
// cancels the unescaping.
bool LoadVerbatim(IniFile& ini, const std::string& path) {
  std::string text;
  if (!qx::ReadWholeFile(path, text)) return false;
  std::string doubled;
  doubled.reserve(text.size());
  for (char c : text) {
    doubled += c;
    if (c == '\\') doubled += c;
  }
  return ini.LoadFromText(doubled) != 0;
}

std::string StringOr(const IniFile& ini, const char* section, const std::string& key, const char* def) {
  const std::string* value = ini.GetValue(section, key);
  return value ? *value : std::string(def);
}

}  // namespace

uint32_t EvaluateStyle(std::string_view expression, const IniFile& symbols) {
  uint32_t total = 0;
  size_t pos = 0;
  while (pos <= expression.size()) {
    size_t bar = expression.find('|', pos);
    if (bar == std::string_view::npos) bar = expression.size();
    std::string_view piece = expression.substr(pos, bar - pos);
    pos = bar + 1;
    const size_t first = piece.find_first_not_of(" \t");
    if (first == std::string_view::npos) continue;
    piece.remove_prefix(first);
    if (piece[0] >= '0' && piece[0] <= '9') {
      total += DecimalValue(piece);
    } else if (const std::string* value = FindSymbol(symbols, piece)) {
      total += SymbolValue(*value);
    }
  }
  return total;
}

bool ReadToolbarDefinition(const std::string& path, ToolbarDefinition& out) {
  IniFile ini;
  if (!LoadVerbatim(ini, path)) return false;
  ToolbarDefinition def;
  def.Path = path;
  def.WindowID = ini.GetInt(kBar, "WindowID", kDefaultToolbarID);
  ini.GetString(kBar, "Title", def.Title);
  def.SymbolPath = qx::ResolveRelativeTo(path, StringOr(ini, kBar, "define", "define.ini"));
  def.LeftBorder = ini.GetInt(kBar, "LeftBorder", 0);
  def.TopBorder = ini.GetInt(kBar, "TopBorder", 0);
  def.RightBorder = ini.GetInt(kBar, "RightBorder", 0);
  def.BottomBorder = ini.GetInt(kBar, "BottomBorder", 0);

  IniFile symbols;
  LoadVerbatim(symbols, def.SymbolPath);  // missing: every name counts 0
  def.BarStyle = EvaluateStyle(StringOr(ini, kBar, "Style", kDefaultStyle), symbols);
  def.ControlStyle = EvaluateStyle(StringOr(ini, kBar, "ControlStyle", kDefaultStyle), symbols);
  def.ButtonWidth = ini.GetInt(kBar, "ButtonWidth", 16);
  def.ButtonHeight = ini.GetInt(kBar, "ButtonHeight", 16);
  def.ImageWidth = ini.GetInt(kBar, "ImageWidth", 16);
  def.ImageHeight = ini.GetInt(kBar, "ImageHeight", 16);
  int count = ini.GetInt(kBar, "Buttons", 1);
  if (count < 1) count = 1;
  if (count > kMaxToolbarButtons) count = kMaxToolbarButtons;
  def.BitmapPath = qx::ResolveRelativeTo(path, StringOr(ini, kBar, "Bitmap", "toolbar.bmp"));

  def.Buttons.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    ToolbarButtonDef& button = def.Buttons[static_cast<size_t>(i)];
    const std::string key = qx::Format("Button[%i].", i);
    button.ID = ini.GetInt(kButtons, key + "ID", 0);
    button.Style = EvaluateStyle(StringOr(ini, kButtons, key + "Style", "TBBS_SEPARATOR"), symbols);
    button.Image = ini.GetInt(kButtons, key + "Image", 0);
    ini.GetString(kButtons, key + "Text", button.Text);
  }
  out = std::move(def);
  return true;
}

bool SameTitle(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const unsigned char x = static_cast<unsigned char>(a[i]);
    const unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 0x81 && i + 1 < a.size()) {
      // A two-byte character: both bytes as they are.
      if (x != y || a[i + 1] != b[i + 1]) return false;
      ++i;
      continue;
    }
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
    if (fold(x) != fold(y)) return false;
  }
  return true;
}

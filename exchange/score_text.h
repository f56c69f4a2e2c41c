// The score text form (".q5t"): one IniFile section for the settings, one
// per layer, pen and font, and one per object, named "Object<Number>".
#pragma once

#include <string>
#include <string_view>
#include <vector>

class CScore;
class IniFile;

// Replaces the document's contents with the score. Graphics and combination
// objects have no text form and are left out.
void WriteScoreText(const CScore& score, IniFile& doc);

// Clears the score's tables and objects and fills them from the document.
// Settings missing from the document read as 0; FileType and Version stay.
// Links are not rebuilt.
void ReadScoreText(const IniFile& doc, CScore& score);

// What a score text lacks or holds that a score cannot: `text` is the file's
// bytes, `doc` the document read from them.
struct ScoreTextCheck {
  // Signs of a text cut short or of objects left out: it ends inside a line
  // or a section, or objects name objects it does not hold.
  std::vector<std::string> Missing;
  // Settings a score cannot hold, each led by its key (TimeBase=0 ...).
  std::vector<std::string> Invalid;
  // Doubts that a sound text may also raise (a counter beyond the Numbers read).
  std::vector<std::string> Warnings;
};
ScoreTextCheck CheckScoreText(const IniFile& doc, std::string_view text);

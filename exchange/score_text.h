// The score text form (".q5t"): one IniFile section for the settings, one
// per layer, pen and font, and one per object, named "Object<Number>".
#pragma once

class CScore;
class IniFile;

// Replaces the document's contents with the score. Graphics and combination
// objects have no text form and are left out.
void WriteScoreText(const CScore& score, IniFile& doc);

// Clears the score's tables and objects and fills them from the document.
// Settings missing from the document read as 0; FileType and Version stay.
// Links are not rebuilt.
void ReadScoreText(const IniFile& doc, CScore& score);

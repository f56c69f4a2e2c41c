// libLattix.so: converts a score between its binary form and the ".q5t"
// score text (a sectioned key=value document held in an IniFile).
//
// The library carries its own build of the score model and of IniFile,
// identical in layout to the caller's, so the caller's objects are passed
// in directly. Only these five functions are exported.
#pragma once

#define LATTIX_EXPORT __attribute__((visibility("default")))

class CScore;
class IniFile;

extern "C" {

// 0x03080000: the only binary score version read and written.
LATTIX_EXPORT int getScoreVersion();

// Empties `doc` and writes the score into it. Returns 1 (0 only for a null
// argument or when memory runs out).
LATTIX_EXPORT int scoreExportXML(CScore* score, IniFile* doc);

// Clears the score's tables and objects and fills them from `doc`. Links
// are not rebuilt: run RelinkObjects and the update pass before use.
// Returns 1 (0 only for a null argument or when memory runs out).
LATTIX_EXPORT int scoreImportXML(CScore* score, IniFile* doc);

// Score file -> text file. Returns 1 whether or not the steps succeeded:
// callers that need to know check the text file. A score file that cannot
// be loaded leaves the text file untouched.
LATTIX_EXPORT int scoreExportXMLFile(const char* scorePath, const char* textPath);

// Text file -> score file, saved without links or derived data. Returns 1
// whether or not the steps succeeded. A text file that cannot be read
// leaves the score file untouched.
LATTIX_EXPORT int scoreImportXMLFile(const char* scorePath, const char* textPath);

}  // extern "C"

// MusicXML import: partwise or timewise MusicXML (".musicxml", ".xml") or its
// compressed container (".mxl") read as the file writes the music (parts and
// their staves, clefs, keys, meters, written values, voices, stems, beams,
// ties, grace notes, articulations, dynamics, wedges, slurs, words, repeats
// and endings) and placed as the editor places music. What has no place in
// the score (lyrics, chord symbols, ornaments ...) is counted and reported,
// never dropped without a trace.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CScore;
struct NotatedScore;

struct MusicXmlImportReport {
  std::string Title, Composer;  // UTF-8
  int Parts = 0;
  int Staves = 0;
  int Measures = 0;
  int Notes = 0;
  std::map<std::string, int> Ignored;  // by what they are ("和弦符号") to how many
  // "已忽略: 12 个和弦符号, 3 个歌词"; empty when nothing was left out.
  std::string IgnoredText() const;
};

// Reads the file's bytes (the caller reads the file; a zip container is
// opened here) into the notated form. False with a one-line reason, and the
// form left empty, for anything malformed or hostile: bad XML, an unknown
// root, missing or absurd divisions, durations or counts beyond the limits.
bool ReadMusicXml(const std::string& bytes, NotatedScore& music, MusicXmlImportReport& report,
                  std::string* error);

// The whole import into an empty score: read, placed, title and composer as
// texts above the music. False with a reason; the score is then left empty.
bool ImportMusicXmlFile(const std::string& path, CScore& score, MusicXmlImportReport& report,
                        std::string* error);
